// Opening and checking an image: what the dialog's Open command and the CLI share.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/image_format.h"

namespace tarvex {

enum class ImageError {
  None,
  NotAnImage,          // the file's layout does not hold together: not an image at all
  CannotOpen,          // the OS refused the open; message carries the errno text
  ReadFailed,          // an I/O error while reading
  ShorterThanPayload,  // the file ends before 32 + payloadLength
  CrcMismatch,         // stored and computed CRC differ (both in the message)
  BadSegmentCount,     // 0, or more rows than the header holds
  SegmentOutsideFile,  // a row's data reach past the end of the file
};

struct FirmwareImage {
  std::string path;       // empty for an image checked from memory
  ImageHeader header{};   // file bytes 0..255; zero-filled past the end of a short file
  ModelName modelName{};  // file bytes 16..31
  std::string modelText;  // modelName up to the first NUL, raw 8-bit text
  bool needsWake = false;
  std::uint64_t fileSize = 0;  // bytes
};

struct ImageRejection {
  ImageError reason = ImageError::None;
  std::string message;  // one human sentence, e.g. "CRC mismatch: stored 0x..., computed 0x..."
};

struct ImageLoad {
  std::optional<FirmwareImage> image;  // set when the image passed every check
  ImageRejection rejection;            // reason != None when image is empty
  bool ok() const { return image.has_value(); }
};

// A stable word for each reason, for scripts: "crc_mismatch", "not_an_image", ...
const char* ImageErrorCode(ImageError reason);

// Opens the file by its path, checks it, copies what a download needs and closes it again.
ImageLoad LoadImage(const std::string& path);
// The same checks over an image's bytes in memory, with the same verdicts; `path` stays empty.
ImageLoad LoadImageFromBytes(std::span<const std::uint8_t> bytes);

class ImageBytes;
// The same checks over `size` bytes read through `bytes` (a file's copy, say); `path` stays empty.
ImageLoad CheckImageBytes(ImageBytes& bytes, std::uint64_t size);

}  // namespace tarvex
