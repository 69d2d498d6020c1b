#include "link/manual_event.h"

#include <windows.h>

#include "link/win32/precise_timer.h"

namespace tarvex {

struct ManualEvent::Impl {
  HANDLE event = nullptr;
};

ManualEvent::ManualEvent(bool initiallySet) : impl_(std::make_unique<Impl>()) {
  impl_->event = CreateEventW(nullptr, TRUE, initiallySet ? TRUE : FALSE, nullptr);
}

ManualEvent::~ManualEvent() {
  if (impl_->event != nullptr) {
    CloseHandle(impl_->event);
  }
}

void ManualEvent::Set() {
  SetEvent(impl_->event);
}

void ManualEvent::Reset() {
  ResetEvent(impl_->event);
}

bool ManualEvent::IsSet() const {
  return WaitForSingleObject(impl_->event, 0) == WAIT_OBJECT_0;
}

void ManualEvent::Wait() {
  WaitForSingleObject(impl_->event, INFINITE);
}

bool ManualEvent::WaitFor(std::chrono::nanoseconds timeout) {
  constexpr std::chrono::nanoseconds LONGEST_WAIT = std::chrono::hours{24 * 365};
  if (timeout > LONGEST_WAIT) {
    timeout = LONGEST_WAIT;
  }
  return win32::WaitUntilOrSignalled(
      impl_->event,
      win32::Clock::now() + std::chrono::duration_cast<win32::Clock::duration>(timeout));
}

}  // namespace tarvex
