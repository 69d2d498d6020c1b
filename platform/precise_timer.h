// Waits that end on time on Windows. The default timer grain (about 15.6 ms) would make every
// paced step of a download up to 15 ms late; a high-resolution waitable timer ends a wait
// within about a millisecond. Where the system has none (before Windows 10 1803), the wait
// raises the system timer resolution to 1 ms for as long as it lasts.
#pragma once

#include <windows.h>

#include <chrono>

namespace tarvex::win32 {

using Clock = std::chrono::steady_clock;

// Sleeps until `until` (never returning before it) or until `wakeUp` is signalled, whichever
// comes first. True when `wakeUp` was signalled; `wakeUp` may be null. One timer per thread.
bool WaitUntilOrSignalled(HANDLE wakeUp, Clock::time_point until);

}  // namespace tarvex::win32
