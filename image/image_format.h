// Byte layout of a firmware image (.zfr): preamble, 256-byte header copy, segment table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvex {

inline constexpr std::size_t CRC_CHUNK = 1024;         // bytes read per step of the image check
inline constexpr std::size_t SEGMENT_ROWS_MAX = 14;    // rows that fit in the header copy
inline constexpr std::size_t IMAGE_HEADER_SIZE = 256;  // bytes
inline constexpr std::size_t PREAMBLE_SIZE = 32;       // bytes before the payload
inline constexpr std::size_t MODEL_NAME_OFFSET = 16;
inline constexpr std::size_t MODEL_NAME_SIZE = 16;
inline constexpr std::size_t SEGMENT_ROW_SIZE = 16;
// The largest payload an image can declare: payloadLength is 32 bits, and rows reach their data
// by 32-bit file offsets, so pack also keeps the whole file within it. Packing, checking and the
// simulated fixture all hold to this one limit.
inline constexpr std::uint64_t PAYLOAD_LENGTH_MAX = 0xFFFFFFFF;  // bytes

// The first 256 bytes of an image file, kept raw; fields are decoded where they are used.
using ImageHeader = std::array<std::uint8_t, IMAGE_HEADER_SIZE>;
// The 16 raw bytes of the model name, NUL-padded, not necessarily terminated.
using ModelName = std::array<std::uint8_t, MODEL_NAME_SIZE>;

struct SegmentEntry {
  std::uint32_t fileOffset = 0;     // from the start of the file
  std::uint32_t targetAddress = 0;  // fixture address of the segment's first byte
  std::uint32_t segmentLength = 0;  // bytes
  bool operator==(const SegmentEntry&) const = default;
};

// Little-endian, independent of the host's byte order.
std::uint32_t ReadLe32(const std::uint8_t* bytes);
void WriteLe32(std::uint8_t* bytes, std::uint32_t value);

std::uint32_t PayloadLength(const ImageHeader& header);
std::uint32_t ImageCrcField(const ImageHeader& header);
std::uint32_t SegmentCount(const ImageHeader& header);
ModelName ModelNameOf(const ImageHeader& header);
// Row `index` of the segment table; `index` must be below SEGMENT_ROWS_MAX.
SegmentEntry SegmentAt(const ImageHeader& header, std::size_t index);
// The two words nothing interprets: bytes 8..11, and bytes 12..15 of row `index`.
std::uint32_t ReservedWord(const ImageHeader& header);
std::uint32_t SegmentReservedAt(const ImageHeader& header, std::size_t index);

// The writing side, for building an image; the reserved words stay as they are.
void SetPayloadLength(ImageHeader& header, std::uint32_t value);
void SetImageCrc(ImageHeader& header, std::uint32_t value);
void SetSegmentCount(ImageHeader& header, std::uint32_t value);
void SetModelName(ImageHeader& header, const ModelName& name);
void SetSegmentAt(ImageHeader& header, std::size_t index, const SegmentEntry& row);

}  // namespace tarvex
