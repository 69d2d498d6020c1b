#include "engine/job_view.h"

#include "protocol/texts.h"

namespace tarvex {

void JobView::Segment(std::uint32_t index, std::uint32_t count) {
  Status(SegmentText(index, count));
}

}  // namespace tarvex
