#include "link/manual_event.h"

namespace tarvex {

ManualEvent::ManualEvent(bool initiallySet) : set_(initiallySet) {}

void ManualEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

void ManualEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool ManualEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

void ManualEvent::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return set_; });
}

bool ManualEvent::WaitFor(std::chrono::nanoseconds timeout) {
  // Adding a near-infinite duration to the clock's now() would overflow.
  constexpr std::chrono::nanoseconds LONGEST_WAIT = std::chrono::hours{24 * 365};
  if (timeout > LONGEST_WAIT) {
    timeout = LONGEST_WAIT;
  }
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return set_; });
}

}  // namespace tarvex
