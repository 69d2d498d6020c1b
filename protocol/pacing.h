// The pacing table: how long the worker waits before it performs the step of each state.
#pragma once

#include <chrono>

#include "protocol/download_state.h"

namespace tarvex {

// Wait before the step of `state`; measured from the end of the previous step (its write has
// left the line). DL_TEST is taken at once.
std::chrono::milliseconds PacingDelay(DownloadState state);

// `delay` multiplied by `timeScale` (1.0 = real time); negative or NaN scales count as 0.
std::chrono::nanoseconds ScaledDelay(std::chrono::milliseconds delay, double timeScale);

}  // namespace tarvex
