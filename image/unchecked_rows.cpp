#include "image/unchecked_rows.h"

#include <fmt/format.h>

#include <algorithm>

namespace tarvex {

std::vector<std::uint32_t> UncheckedRows(const ImageHeader& header) {
  const std::uint64_t payloadEnd = std::uint64_t{PREAMBLE_SIZE} + PayloadLength(header);
  const std::uint32_t count =
      std::min<std::uint32_t>(SegmentCount(header), static_cast<std::uint32_t>(SEGMENT_ROWS_MAX));
  std::vector<std::uint32_t> rows;
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    const std::uint64_t end = std::uint64_t{row.fileOffset} + row.segmentLength;
    const bool inside =
        row.segmentLength == 0 || (row.fileOffset >= PREAMBLE_SIZE && end <= payloadEnd);
    if (!inside) {
      rows.push_back(i);
    }
  }
  return rows;
}

std::string UncheckedRowsWarning(const ImageHeader& header) {
  const std::vector<std::uint32_t> rows = UncheckedRows(header);
  if (rows.empty()) {
    return {};
  }
  std::string numbers;
  for (const std::uint32_t row : rows) {
    numbers += fmt::format("{}{}", numbers.empty() ? "" : ", ", row + 1);
  }
  return fmt::format(
      "warning: the data of segment{} {} lie outside the CRC-checked payload: they go to the "
      "fixture unverified",
      rows.size() == 1 ? "" : "s", numbers);
}

}  // namespace tarvex
