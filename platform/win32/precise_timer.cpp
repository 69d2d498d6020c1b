#include "platform/precise_timer.h"

#include <timeapi.h>

#include <algorithm>

namespace tarvex::win32 {

namespace {

// Not in every SDK's headers yet.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr UINT FINEST_PERIOD_MS = 1;

class ThreadTimer {
 public:
  ThreadTimer() {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
      highResolution_ = false;
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
  }
  ~ThreadTimer() {
    if (timer_ != nullptr) {
      CloseHandle(timer_);
    }
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

  HANDLE handle() const { return timer_; }
  bool highResolution() const { return highResolution_; }

 private:
  HANDLE timer_ = nullptr;
  bool highResolution_ = true;
};

// One timed wait: the timer's due time is relative, in 100 ns units (negative = relative).
bool WaitOnce(HANDLE wakeUp, const ThreadTimer& timer, Clock::duration left) {
  const auto ticks =
      std::chrono::duration_cast<std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>>(left)
          .count();
  LARGE_INTEGER due;
  due.QuadPart = -std::max<LONGLONG>(ticks, 1);
  HANDLE handles[2] = {wakeUp, timer.handle()};
  const DWORD first = wakeUp != nullptr ? 0 : 1;
  if (timer.handle() == nullptr ||
      !SetWaitableTimer(timer.handle(), &due, 0, nullptr, nullptr, FALSE)) {
    // No timer at all: a plain time-out, rounded up so that it is never early.
    const auto ms = static_cast<DWORD>(std::min<long long>(
        std::chrono::ceil<std::chrono::milliseconds>(left).count(), INFINITE - 1));
    if (wakeUp == nullptr) {
      Sleep(ms);
      return false;
    }
    return WaitForSingleObject(wakeUp, ms) == WAIT_OBJECT_0;
  }
  const DWORD result = WaitForMultipleObjects(2 - first, handles + first, FALSE, INFINITE);
  CancelWaitableTimer(timer.handle());
  return wakeUp != nullptr && result == WAIT_OBJECT_0;
}

}  // namespace

bool WaitUntilOrSignalled(HANDLE wakeUp, Clock::time_point until) {
  thread_local ThreadTimer timer;
  const bool coarse = !timer.highResolution();
  if (coarse) {
    timeBeginPeriod(FINEST_PERIOD_MS);
  }
  bool signalled = false;
  // A timer may fire a little before the clock says so: wait again for the rest.
  for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
    if (WaitOnce(wakeUp, timer, until - now)) {
      signalled = true;
      break;
    }
  }
  if (!signalled && wakeUp != nullptr) {
    signalled = WaitForSingleObject(wakeUp, 0) == WAIT_OBJECT_0;
  }
  if (coarse) {
    timeEndPeriod(FINEST_PERIOD_MS);
  }
  return signalled;
}

}  // namespace tarvex::win32
