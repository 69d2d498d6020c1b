// The page's image: the bytes of the chosen file, read once and checked. Every byte a download
// sends comes from this copy, so a file changed on disk meanwhile cannot reach the fixture.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/image_loader.h"
#include "protocol/image_source.h"

namespace tarvex::web {

class HeldImage final : public ImageSource {
 public:
  explicit HeldImage(std::vector<std::uint8_t> bytes);

  // Set when the bytes passed the check.
  const std::optional<FirmwareImage>& Image() const { return load_.image; }
  const ImageRejection& Rejection() const { return load_.rejection; }

  FileCheck Check(const FirmwareImage& image) const override;
  FileCheck ReadBytes(const FirmwareImage& image, std::uint32_t position,
                      std::span<std::uint8_t> out) const override;

 private:
  std::vector<std::uint8_t> bytes_;
  ImageLoad load_;
};

}  // namespace tarvex::web
