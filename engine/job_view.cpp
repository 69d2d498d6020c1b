#include "engine/job_view.h"

#include <fmt/format.h>

#include "protocol/texts.h"

namespace tarvex {

void JobView::Segment(std::uint32_t index, std::uint32_t count) {
  Status(SegmentText(index, count));
}

std::string SegmentText(std::uint32_t index, std::uint32_t count) {
  return fmt::format("{}{}/{}", TEXT_DOWNLOADING, index, count);
}

}  // namespace tarvex
