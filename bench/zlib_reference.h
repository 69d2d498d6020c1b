// The reference the benchmarks measure themselves against: zlib's crc32 streaming a file from
// `offset` to its end, `chunk` bytes per read, in the same run.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/image_format.h"

namespace tarvex::bench {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// What bench/zlib_crc32_file.c, the whole-process reference of scripts/info_vs_zlib, reads at once.
inline constexpr std::size_t ZLIB_PROGRAM_CHUNK = 1024 * 1024;

inline uLong ZlibCrc32OfFile(const std::string& path, long offset, std::size_t chunk = CRC_CHUNK) {
  FilePtr file{std::fopen(path.c_str(), "rb")};
  std::fseek(file.get(), offset, SEEK_SET);
  std::vector<unsigned char> buffer(chunk);
  uLong crc = crc32(0, nullptr, 0);
  std::size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    crc = crc32(crc, buffer.data(), static_cast<uInt>(read));
  }
  return crc;
}

}  // namespace tarvex::bench
