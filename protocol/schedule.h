// How long a download of an image takes, worked out by running the real sequencer against a
// null line: the waits of the pacing table plus each frame's time on the wire.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "image/image_loader.h"

namespace tarvex {

struct ScheduleEstimate {
  std::uint32_t dataSteps = 0;  // blocks plus the EndFrame step
  // From pressing Download to "Download Complete!".
  std::chrono::milliseconds duration{0};
};

// Empty when the image file cannot be read as it was checked (missing, changed).
std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image);

}  // namespace tarvex
