// One record per frame written, so that a support engineer can see exactly what went out.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "protocol/download_state.h"
#include "protocol/line_settings.h"

namespace tarvex {

struct TraceEvent {
  std::chrono::milliseconds sinceStart{0};  // from Download (or Test) to the start of the write
  DownloadState state = 0;                  // the state whose step wrote the frame
  std::string_view frame;                   // "AnnounceFrame", ...
  std::uint32_t length = 0;                 // bytes asked to write
  LineSettings settings;                    // in force for this write
  std::uint32_t written = 0;                // bytes the port took
};

using TraceSink = std::function<void(const TraceEvent&)>;

}  // namespace tarvex
