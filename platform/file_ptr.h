// An open C file that closes itself.
#pragma once

#include <cstdio>
#include <memory>

namespace tarvex {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace tarvex
