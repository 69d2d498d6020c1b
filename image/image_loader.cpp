#include "image/image_loader.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "image/image_bytes.h"
#include "image/image_crc.h"
#include "image/model.h"
#include "platform/file_kind.h"
#include "platform/file_ptr.h"
#include "platform/utf8_path.h"

namespace tarvex {

namespace {

// The check takes 1024 bytes per step from the file's buffer; stdio's own is 4 KiB, which would
// cost a 48 MiB image 12 288 system calls, a third of the whole check's time.
constexpr std::size_t READ_AHEAD = 64 * 1024;

ImageLoad Reject(ImageError reason, std::string message) {
  return ImageLoad{std::nullopt, ImageRejection{reason, std::move(message)}};
}

ImageLoad RejectShort(std::uint64_t fileSize, std::uint32_t payloadLength) {
  if (fileSize < PREAMBLE_SIZE) {
    return Reject(ImageError::ShorterThanPayload,
                  fmt::format("the file has {} bytes, fewer than the {} of an image preamble",
                              fileSize, PREAMBLE_SIZE));
  }
  const std::uint64_t declared = std::uint64_t{PREAMBLE_SIZE} + payloadLength;
  return Reject(ImageError::ShorterThanPayload,
                fmt::format("the file is shorter than its payload: it has {} bytes, its header "
                            "declares {} (32 + {})",
                            fileSize, declared, payloadLength));
}

// Neither the payload nor the segment table fits: this is some other kind of file, and saying
// so helps more than a CRC or length detail.
bool LooksLikeAnImage(const ImageHeader& header, std::uint64_t fileSize) {
  const std::uint32_t count = SegmentCount(header);
  const bool payloadFits = std::uint64_t{PREAMBLE_SIZE} + PayloadLength(header) <= fileSize;
  const bool rowsFit = count >= 1 && count <= SEGMENT_ROWS_MAX;
  return fileSize >= PREAMBLE_SIZE && (payloadFits || rowsFit);
}

// Rows are checked with 64-bit sums: fileOffset + segmentLength may exceed 32 bits.
ImageLoad CheckSegments(const ImageHeader& header, std::uint64_t fileSize) {
  const std::uint32_t count = SegmentCount(header);
  if (count == 0 || count > SEGMENT_ROWS_MAX) {
    return Reject(ImageError::BadSegmentCount,
                  fmt::format("bad segment count {}: an image holds 1 to {} segments", count,
                              SEGMENT_ROWS_MAX));
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    const std::uint64_t end = std::uint64_t{row.fileOffset} + row.segmentLength;
    if (end > fileSize) {
      return Reject(ImageError::SegmentOutsideFile,
                    fmt::format("segment {} outside the file: its data end at byte {} but the file "
                                "has {} bytes",
                                i + 1, end, fileSize));
    }
  }
  return {};
}

ImageLoad RejectReadError(const ImageBytes& bytes) {
  return Reject(ImageError::ReadFailed, "read error: " + bytes.Failure());
}

}  // namespace

// Every check, whatever the bytes come from; `size` is the number of bytes there are.
ImageLoad CheckImageBytes(ImageBytes& bytes, std::uint64_t size) {
  FirmwareImage image;
  // Fewer bytes than a header leave the rest of the copy zero.
  const std::size_t headerRead = bytes.ReadAt(0, image.header);
  if (headerRead < image.header.size() && !bytes.Failure().empty()) {
    return RejectReadError(bytes);
  }

  const std::uint32_t payloadLength = PayloadLength(image.header);
  if (!LooksLikeAnImage(image.header, size)) {
    return Reject(ImageError::NotAnImage,
                  "not a tarvex image: " + RejectShort(size, payloadLength).rejection.message);
  }
  const std::optional<std::uint32_t> computed = ImageCrc32(bytes, payloadLength);
  if (!computed) {
    return bytes.Failure().empty() ? RejectShort(size, payloadLength) : RejectReadError(bytes);
  }
  const std::uint32_t stored = ImageCrcField(image.header);
  if (*computed != stored) {
    return Reject(
        ImageError::CrcMismatch,
        fmt::format("CRC mismatch: stored 0x{:08X}, computed 0x{:08X}", stored, *computed));
  }
  if (ImageLoad bad = CheckSegments(image.header, size); bad.rejection.reason != ImageError::None) {
    return bad;
  }

  image.modelName = ModelNameOf(image.header);
  image.modelText = ModelText(image.modelName);
  image.needsWake = ClassifyModel(image.modelName) == 1;
  image.fileSize = size;
  return ImageLoad{std::move(image), {}};
}

const char* ImageErrorCode(ImageError reason) {
  switch (reason) {
    case ImageError::None:
      return "none";
    case ImageError::NotAnImage:
      return "not_an_image";
    case ImageError::CannotOpen:
      return "cannot_open";
    case ImageError::ReadFailed:
      return "read_failed";
    case ImageError::ShorterThanPayload:
      return "shorter_than_payload";
    case ImageError::CrcMismatch:
      return "crc_mismatch";
    case ImageError::BadSegmentCount:
      return "bad_segment_count";
    case ImageError::SegmentOutsideFile:
      return "segment_outside_file";
  }
  return "unknown";
}

ImageLoad LoadImage(const std::string& path) {
  const std::filesystem::path fsPath = PathFromUtf8(path);
  if (const std::string problem = NotAFileProblem(fsPath); !problem.empty()) {
    return Reject(ImageError::CannotOpen, "cannot open the file: " + problem);
  }
  // Declared before the file, which reads into it until it is closed. Left uninitialised (as
  // make_unique_for_overwrite would, which not every standard library has yet).
  const std::unique_ptr<char[]> readAhead(new char[READ_AHEAD]);
  const FilePtr file{OpenForReading(fsPath)};
  if (!file) {
    return Reject(ImageError::CannotOpen,
                  std::string("cannot open the file: ") + std::strerror(errno));
  }
  std::setvbuf(file.get(), readAhead.get(), _IOFBF, READ_AHEAD);
  std::error_code error;
  const std::uint64_t fileSize = std::filesystem::file_size(fsPath, error);
  if (error) {
    return Reject(ImageError::CannotOpen, "cannot open the file: " + error.message());
  }
  FileImageBytes bytes(file.get());
  ImageLoad load = CheckImageBytes(bytes, fileSize);
  if (load.image) {
    load.image->path = path;
  }
  return load;
}

ImageLoad LoadImageFromBytes(std::span<const std::uint8_t> bytes) {
  MemoryImageBytes source(bytes);
  return CheckImageBytes(source, bytes.size());
}

}  // namespace tarvex
