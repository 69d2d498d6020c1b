#include "image/utf8_path.h"

namespace tarvex {

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

}  // namespace tarvex
