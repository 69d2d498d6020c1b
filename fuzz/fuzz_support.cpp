#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tarvex::fuzz {

std::string ScratchPath(std::string_view name) {
  static const std::filesystem::path dir = [] {
    std::error_code error;
    return std::filesystem::is_directory("/dev/shm", error)
               ? std::filesystem::path("/dev/shm")
               : std::filesystem::temp_directory_path();
  }();
  return (dir / ("tarvex-fuzz-" + std::to_string(getpid()) + "-" + std::string(name))).string();
}

void WriteScratch(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::string ReadScratch(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace tarvex::fuzz
