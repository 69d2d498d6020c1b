#include "protocol/texts.h"

#include <fmt/format.h>

namespace tarvex {

std::string SegmentText(std::uint32_t index, std::uint32_t count) {
  return fmt::format("{}{}/{}", TEXT_DOWNLOADING, index, count);
}

}  // namespace tarvex
