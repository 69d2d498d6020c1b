// An ImageSource over bytes in memory that a test can take away, change or truncate, as a file
// would be: reads compare the "file" with the bytes that were checked and hand out the checked
// ones, like a download's snapshot does.
#pragma once

#include <cstdint>
#include <span>

#include "image/image_loader.h"
#include "protocol/image_source.h"
#include "tests/support/image_builder.h"

namespace tarvex::test {

class MemoryImageSource final : public ImageSource {
 public:
  explicit MemoryImageSource(Bytes bytes) : checked_(bytes), file_(std::move(bytes)) {}

  // The checked image these bytes hold; an empty one (no segments) when they are not good.
  FirmwareImage Image() const;

  FileCheck Check(const FirmwareImage& image) const override;
  FileCheck ReadBytes(const FirmwareImage& image, std::uint32_t position,
                      std::span<std::uint8_t> out) const override;

  void SetAvailable(bool available) { available_ = available; }
  void Flip(std::size_t offset) { file_.at(offset) ^= 0xFF; }
  void Truncate(std::size_t size) { file_.resize(size); }
  std::size_t Size() const { return checked_.size(); }

 private:
  Bytes checked_;
  Bytes file_;
  bool available_ = true;
};

}  // namespace tarvex::test
