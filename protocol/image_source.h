// Where a download's steps take the image from. A download reads the file at the image's path
// each time it needs bytes; the schedule estimate, which depends only on the sizes in the
// header, uses a source that needs no file at all.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "image/image_format.h"
#include "image/image_loader.h"

namespace tarvex {

enum class FileCheck {
  Same,         // the bytes to come are those of the image that was checked
  Unavailable,  // they cannot be had just now
  Changed,      // the file was changed or replaced, or no longer passes the check
};

class ImageSource {
 public:
  virtual ~ImageSource() = default;

  // Whether the bytes to come are still those of `image`, the copy checked at Open.
  virtual FileCheck Check(const FirmwareImage& image) const = 0;
  // The 16 model-name bytes; empty when they cannot be read just now.
  virtual std::optional<ModelName> ModelNameOf(const FirmwareImage& image) const = 0;
  // Fills `out` with the bytes from file offset `position`; bytes past the end of the file are
  // zeros. False when they cannot be read just now.
  virtual bool ReadBytes(const FirmwareImage& image, std::uint32_t position,
                         std::span<std::uint8_t> out) const = 0;
};

}  // namespace tarvex
