// How long a download of an image takes, worked out by running the real sequencer against a
// null line: the waits of the pacing table plus each frame's time on the wire.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/image_loader.h"
#include "protocol/image_source.h"
#include "protocol/line_settings.h"
#include "protocol/trace_event.h"

namespace tarvex {

struct ScheduleEstimate {
  std::uint32_t dataSteps = 0;  // blocks plus the EndFrame step
  // From pressing Download to "Download Complete!".
  std::chrono::milliseconds duration{0};
};

// Needs only the checked copy, not the file: the frames carry zeros where a download sends the
// image's bytes, which changes no length. `trace` sees every frame. Empty only if the sequencer
// stops early, which a null line never makes it do.
std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image,
                                                 const TraceSink& trace = {});

// The same run with the image's bytes taken from `source` (a download's own reads, for one),
// reporting each frame to `trace`. Empty when a step does not succeed, e.g. the file is missing.
std::optional<ScheduleEstimate> RunSchedule(const FirmwareImage& image, const ImageSource& source,
                                            const TraceSink& trace = {});

// One frame as the plan schedules it: when it starts to go out, counted from pressing Download.
struct PlannedFrame {
  std::chrono::nanoseconds at{0};
  DownloadState state = 0;
  std::uint32_t length = 0;
  LineSettings settings;
};

// Every frame of a download of `image` with the waits at `timeScale`, and when the run ends
// ("Download Complete!"): what the pacing worker is to do exactly, for the benchmarks to hold it
// against.
struct PlannedRun {
  std::vector<PlannedFrame> frames;
  std::chrono::nanoseconds end{0};
};
PlannedRun PlanRun(const FirmwareImage& image, double timeScale = 1.0);

}  // namespace tarvex
