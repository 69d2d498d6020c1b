// A file that appears whole or not at all: bytes go to a temporary name in the target's folder,
// and only Commit() renames it into place. Without a commit the temporary file is removed, so a
// failure never leaves a half-written output behind. A target that is a symbolic link is written
// through (the file it leads to is replaced); one that exists and is no regular file is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

namespace tarvex {

class AtomicFile {
 public:
  explicit AtomicFile(const std::filesystem::path& target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return out_.is_open(); }
  std::ostream& Stream() { return out_; }
  void Write(std::span<const std::uint8_t> bytes);
  // Flushes, closes and renames into place; false with error() set when any step failed.
  bool Commit();
  // The reason the file could not be written, with the OS's words.
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  std::string error_;
  bool committed_ = false;
  bool refused_ = false;
};

// A hidden name beside `target` (a rename across file systems would be a copy), unlikely to meet
// another writer's.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target);

// Writes `text` whole through an AtomicFile; empty on success, otherwise the reason.
std::string WriteTextFile(const std::filesystem::path& path, const std::string& text);

}  // namespace tarvex
