#include "protocol/pacing.h"

#include <cmath>
#include <cstdint>

namespace tarvex {

namespace {

constexpr std::chrono::milliseconds WAKE_FRAME_WAIT{1000};
constexpr std::chrono::milliseconds ANNOUNCE_WAIT{100};
constexpr std::chrono::milliseconds BLANK_WAIT{10000};
constexpr std::chrono::milliseconds MODEL_WAIT{1000};
constexpr std::chrono::milliseconds SIZE_WAIT{20};
constexpr std::chrono::milliseconds START_WAIT{20};
constexpr std::chrono::milliseconds FIRST_DATA_WAIT{20000};
constexpr std::chrono::milliseconds DATA_WAIT{100};
constexpr std::chrono::milliseconds WAIT_RESET_WAIT{10000};
constexpr std::chrono::milliseconds DEFAULT_WAIT{100};  // DL_DONE and any state not listed

}  // namespace

std::chrono::milliseconds PacingDelay(DownloadState state) {
  switch (state) {
    case DL_WAKE_BREAK:
    case DL_TEST:
      return std::chrono::milliseconds{0};
    case DL_WAKE_FRAME:
      return WAKE_FRAME_WAIT;
    case DL_ANNOUNCE:
      return ANNOUNCE_WAIT;
    case DL_BLANK:
      return BLANK_WAIT;
    case DL_MODEL:
      return MODEL_WAIT;
    case DL_SIZE:
      return SIZE_WAIT;
    case DL_START:
      return START_WAIT;
    case DL_DATA:
      return FIRST_DATA_WAIT;
    case DL_WAIT_RESET:
      return WAIT_RESET_WAIT;
    default:
      return IsDataState(state) ? DATA_WAIT : DEFAULT_WAIT;
  }
}

std::chrono::nanoseconds ScaledDelay(std::chrono::milliseconds delay, double timeScale) {
  if (timeScale == 1.0) {
    return delay;  // real time, and a schedule's every step: no rounding to do
  }
  if (!(timeScale > 0.0)) {
    return std::chrono::nanoseconds{0};
  }
  const double ns = static_cast<double>(delay.count()) * 1e6 * timeScale;
  return std::chrono::nanoseconds{static_cast<std::int64_t>(std::llround(ns))};
}

}  // namespace tarvex
