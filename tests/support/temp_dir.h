// A fresh directory under the system's temp folder, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string_view>

namespace tarvex::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the directory (the file is not created).
  std::filesystem::path File(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace tarvex::test
