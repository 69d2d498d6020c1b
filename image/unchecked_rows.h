// Segments whose data lie, in part or whole, outside the CRC-checked payload (in the first 32
// bytes, or past 32 + payloadLength). Such an image loads, but those bytes reach the fixture
// without any check, so every front end warns about it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_format.h"

namespace tarvex {

// Zero-based indices of the rows that reach outside the payload, in row order.
std::vector<std::uint32_t> UncheckedRows(const ImageHeader& header);

// "warning: the data of segment 2 lie outside the CRC-checked payload: they go to the fixture
// unverified"; empty when every row lies inside it.
std::string UncheckedRowsWarning(const ImageHeader& header);

}  // namespace tarvex
