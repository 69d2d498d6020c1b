#include "platform/manual_event.h"

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

bool ManualEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(impl_->mutex);
  // A wake-up, spurious or by the timer, ends the wait only once the clock itself has passed the
  // deadline.
  while (!impl_->set) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    impl_->changed.wait_until(lock, deadline);
  }
  return true;
}

}  // namespace tarvex
