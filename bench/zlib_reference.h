// The reference the benchmarks measure themselves against: zlib's crc32 streaming a file from
// `offset` to its end through the image check's buffer size, in the same run.
#pragma once

#include <zlib.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "image/image_format.h"

namespace tarvex::bench {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline uLong ZlibCrc32OfFile(const std::string& path, long offset) {
  FilePtr file{std::fopen(path.c_str(), "rb")};
  std::fseek(file.get(), offset, SEEK_SET);
  std::array<unsigned char, CRC_CHUNK> buffer;
  uLong crc = crc32(0, nullptr, 0);
  std::size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    crc = crc32(crc, buffer.data(), static_cast<uInt>(read));
  }
  return crc;
}

}  // namespace tarvex::bench
