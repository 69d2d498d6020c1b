#include "image/image_format.h"

#include <algorithm>
#include <cassert>

namespace tarvex {

namespace {

constexpr std::size_t PAYLOAD_LENGTH_OFFSET = 0;
constexpr std::size_t IMAGE_CRC_OFFSET = 4;
constexpr std::size_t RESERVED_OFFSET = 8;
constexpr std::size_t SEGMENT_COUNT_OFFSET = 12;
constexpr std::size_t ROW_FILE_OFFSET = 0;
constexpr std::size_t ROW_TARGET_ADDRESS = 4;
constexpr std::size_t ROW_SEGMENT_LENGTH = 8;
constexpr std::size_t ROW_RESERVED = 12;

std::size_t RowOffset(std::size_t index) {
  return PREAMBLE_SIZE + SEGMENT_ROW_SIZE * index;
}

}  // namespace

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

std::uint32_t PayloadLength(const ImageHeader& header) {
  return ReadLe32(header.data() + PAYLOAD_LENGTH_OFFSET);
}

std::uint32_t ImageCrcField(const ImageHeader& header) {
  return ReadLe32(header.data() + IMAGE_CRC_OFFSET);
}

std::uint32_t SegmentCount(const ImageHeader& header) {
  return ReadLe32(header.data() + SEGMENT_COUNT_OFFSET);
}

ModelName ModelNameOf(const ImageHeader& header) {
  ModelName name{};
  std::copy_n(header.begin() + MODEL_NAME_OFFSET, MODEL_NAME_SIZE, name.begin());
  return name;
}

SegmentEntry SegmentAt(const ImageHeader& header, std::size_t index) {
  // Rows are only ever read from the header copy; beyond row 13 there is nothing to read.
  assert(index < SEGMENT_ROWS_MAX);
  if (index >= SEGMENT_ROWS_MAX) {
    return {};
  }
  const std::uint8_t* row = header.data() + RowOffset(index);
  return SegmentEntry{ReadLe32(row + ROW_FILE_OFFSET), ReadLe32(row + ROW_TARGET_ADDRESS),
                      ReadLe32(row + ROW_SEGMENT_LENGTH)};
}

std::uint32_t ReservedWord(const ImageHeader& header) {
  return ReadLe32(header.data() + RESERVED_OFFSET);
}

std::uint32_t SegmentReservedAt(const ImageHeader& header, std::size_t index) {
  assert(index < SEGMENT_ROWS_MAX);
  return index < SEGMENT_ROWS_MAX ? ReadLe32(header.data() + RowOffset(index) + ROW_RESERVED) : 0;
}

void SetPayloadLength(ImageHeader& header, std::uint32_t value) {
  WriteLe32(header.data() + PAYLOAD_LENGTH_OFFSET, value);
}

void SetImageCrc(ImageHeader& header, std::uint32_t value) {
  WriteLe32(header.data() + IMAGE_CRC_OFFSET, value);
}

void SetSegmentCount(ImageHeader& header, std::uint32_t value) {
  WriteLe32(header.data() + SEGMENT_COUNT_OFFSET, value);
}

void SetModelName(ImageHeader& header, const ModelName& name) {
  std::copy(name.begin(), name.end(), header.begin() + MODEL_NAME_OFFSET);
}

void SetSegmentAt(ImageHeader& header, std::size_t index, const SegmentEntry& row) {
  assert(index < SEGMENT_ROWS_MAX);
  std::uint8_t* bytes = header.data() + RowOffset(index);
  WriteLe32(bytes + ROW_FILE_OFFSET, row.fileOffset);
  WriteLe32(bytes + ROW_TARGET_ADDRESS, row.targetAddress);
  WriteLe32(bytes + ROW_SEGMENT_LENGTH, row.segmentLength);
}

}  // namespace tarvex
