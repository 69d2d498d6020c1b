#include "ui/call_gate.h"

#include <utility>

namespace tarvex {

UiCallGate::UiCallGate(UiThreadHooks hooks) : hooks_(std::move(hooks)) {}

UiCallGate::~UiCallGate() {
  StopServing();
}

void UiCallGate::Call(std::function<void()> fn) {
  if (hooks_.onUiThread()) {
    fn();
    return;
  }
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard lock(mutex_);
    if (!serving_) {
      return;
    }
    pending_.push_back({std::move(fn), done});
  }
  hooks_.wake();
  std::unique_lock lock(mutex_);
  served_.wait(lock, [&] { return *done || !serving_; });
}

void UiCallGate::Post(std::function<void()> fn) {
  if (hooks_.onUiThread()) {
    fn();
    return;
  }
  bool wasEmpty = false;
  {
    std::lock_guard lock(mutex_);
    if (!serving_) {
      return;
    }
    wasEmpty = pending_.empty();
    pending_.push_back({std::move(fn), nullptr});
  }
  // One wake-up serves every call queued until RunPending() has emptied the queue.
  if (wasEmpty) {
    hooks_.wake();
  }
}

void UiCallGate::RunPending() {
  for (;;) {
    Pending next;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        return;
      }
      next = std::move(pending_.front());
      pending_.pop_front();
    }
    next.fn();
    Finish(next.done);
  }
}

void UiCallGate::Finish(const std::shared_ptr<bool>& done) {
  if (!done) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    *done = true;
  }
  served_.notify_all();
}

void UiCallGate::StopServing() {
  std::deque<Pending> dropped;
  {
    std::lock_guard lock(mutex_);
    serving_ = false;
    dropped.swap(pending_);
    // A dropped call counts as served, so its caller is released even if serving resumes
    // before it wakes.
    for (Pending& call : dropped) {
      if (call.done) {
        *call.done = true;
      }
    }
  }
  served_.notify_all();
}

void UiCallGate::ResumeServing() {
  std::lock_guard lock(mutex_);
  serving_ = true;
}

bool UiCallGate::IsServing() const {
  std::lock_guard lock(mutex_);
  return serving_;
}

}  // namespace tarvex
