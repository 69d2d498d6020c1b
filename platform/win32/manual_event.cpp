#include "platform/manual_event.h"

#include <windows.h>

#include "platform/precise_timer.h"

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

bool ManualEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  return win32::WaitUntilOrSignalled(impl_->event, deadline);
}

}  // namespace tarvex
