#include "tests/support/memory_image_source.h"

#include <algorithm>

namespace tarvex::test {

FirmwareImage MemoryImageSource::Image() const {
  return LoadImageFromBytes(checked_).image.value_or(FirmwareImage{});
}

FileCheck MemoryImageSource::Check(const FirmwareImage& image) const {
  if (!available_) {
    return FileCheck::Unavailable;
  }
  const bool same = file_.size() == image.fileSize &&
                    std::equal(image.header.begin(), image.header.end(), file_.begin(),
                               file_.begin() + std::min(file_.size(), image.header.size()));
  return same ? FileCheck::Same : FileCheck::Changed;
}

FileCheck MemoryImageSource::ReadBytes(const FirmwareImage& /*image*/, std::uint32_t position,
                                       std::span<std::uint8_t> out) const {
  if (!available_) {
    return FileCheck::Unavailable;
  }
  auto slice = [&](const Bytes& bytes) {
    Bytes part(out.size(), 0);
    for (std::size_t i = 0; i < out.size() && position + i < bytes.size(); ++i) {
      part[i] = bytes[position + i];
    }
    return part;
  };
  const Bytes checked = slice(checked_);
  if (file_.size() != checked_.size() || slice(file_) != checked) {
    return FileCheck::Changed;
  }
  std::copy(checked.begin(), checked.end(), out.begin());
  return FileCheck::Same;
}

}  // namespace tarvex::test
