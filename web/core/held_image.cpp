#include "web/core/held_image.h"

#include <algorithm>

namespace tarvex::web {

HeldImage::HeldImage(std::vector<std::uint8_t> bytes)
    : bytes_(std::move(bytes)), load_(LoadImageFromBytes(bytes_)) {}

// The copy never changes: it is the image when it is the one that was checked here.
FileCheck HeldImage::Check(const FirmwareImage& image) const {
  return load_.image && image.fileSize == bytes_.size() && image.header == load_.image->header
             ? FileCheck::Same
             : FileCheck::Changed;
}

FileCheck HeldImage::ReadBytes(const FirmwareImage& image, std::uint32_t position,
                               std::span<std::uint8_t> out) const {
  if (Check(image) != FileCheck::Same) {
    return FileCheck::Changed;
  }
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  if (position < bytes_.size()) {
    const std::size_t count = std::min(out.size(), bytes_.size() - position);
    std::copy_n(bytes_.begin() + position, count, out.begin());
  }
  return FileCheck::Same;
}

}  // namespace tarvex::web
