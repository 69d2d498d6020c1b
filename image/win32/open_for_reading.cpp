#include <stdio.h>

#include "image/utf8_path.h"

namespace tarvex {

// The narrow fopen takes the ANSI code page; the wide one takes every name.
std::FILE* OpenForReading(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}

}  // namespace tarvex
