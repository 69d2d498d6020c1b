#include "image/image_bytes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tarvex {

std::size_t FileImageBytes::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (position_ != offset) {
    // `long` is 32 bits on Windows; reads run from the start onwards, so only the first seeks.
    if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
        std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
      position_.reset();
      return 0;
    }
    position_ = offset;
  }
  const std::size_t read = std::fread(out.data(), 1, out.size(), file_);
  *position_ += read;
  if (read < out.size() && std::ferror(file_)) {
    failure_ = std::strerror(errno);
  }
  return read;
}

std::size_t MemoryImageBytes::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset >= bytes_.size() || out.empty()) {
    return 0;
  }
  const std::size_t count = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
  std::memcpy(out.data(), bytes_.data() + offset, count);
  return count;
}

}  // namespace tarvex
