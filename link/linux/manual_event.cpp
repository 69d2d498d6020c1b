#include "link/manual_event.h"

#include <condition_variable>
#include <mutex>

namespace tarvex {

struct ManualEvent::Impl {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
};

ManualEvent::ManualEvent(bool initiallySet) : impl_(std::make_unique<Impl>()) {
  impl_->set = initiallySet;
}

ManualEvent::~ManualEvent() = default;

void ManualEvent::Set() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->set = true;
  }
  impl_->changed.notify_all();
}

void ManualEvent::Reset() {
  std::lock_guard lock(impl_->mutex);
  impl_->set = false;
}

bool ManualEvent::IsSet() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->set;
}

void ManualEvent::Wait() {
  std::unique_lock lock(impl_->mutex);
  impl_->changed.wait(lock, [this] { return impl_->set; });
}

bool ManualEvent::WaitFor(std::chrono::nanoseconds timeout) {
  // Adding a near-infinite duration to the clock's now() would overflow.
  constexpr std::chrono::nanoseconds LONGEST_WAIT = std::chrono::hours{24 * 365};
  if (timeout > LONGEST_WAIT) {
    timeout = LONGEST_WAIT;
  }
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [this] { return impl_->set; });
}

}  // namespace tarvex
