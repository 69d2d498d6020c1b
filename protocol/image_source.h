// Where a download's steps take the image from. A download reads the file at the image's path
// each time it needs bytes and sends only bytes that were checked; the schedule estimate, which
// depends only on the sizes in the header, uses a source that needs no file at all.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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
  // Fills `out` with the image's bytes from file offset `position`; bytes past the end of the
  // image are zeros. Same when they are the checked bytes; Unavailable when they cannot be read
  // just now; Changed when the file no longer holds them (`out` must then not be sent).
  virtual FileCheck ReadBytes(const FirmwareImage& image, std::uint32_t position,
                              std::span<std::uint8_t> out) const = 0;
  // Why the last Check or ReadBytes did not give Same, for a person; empty when not known.
  virtual std::string Reason() const { return {}; }
};

}  // namespace tarvex
