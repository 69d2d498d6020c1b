#include "app/gui_thread_caller.h"

#include <QMetaObject>
#include <QThread>
#include <memory>
#include <utility>

namespace tarvex {

void GuiThreadCaller::Call(std::function<void()> fn) {
  if (QThread::currentThread() == context_.thread()) {
    fn();
    return;
  }
  auto done = std::make_shared<bool>(false);  // guarded by mutex_
  std::uint64_t term = 0;
  {
    std::lock_guard lock(mutex_);
    if (!serving_) {
      return;
    }
    term = term_;
  }
  // Calls queued before a stop are dropped, also when serving has resumed since.
  QMetaObject::invokeMethod(
      &context_,
      [this, done, term, fn = std::move(fn)] {
        if (InTerm(term)) {
          fn();
        }
        {
          std::lock_guard lock(mutex_);
          *done = true;
        }
        served_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  served_.wait(lock, [&] { return *done || !serving_; });
}

void GuiThreadCaller::StopServing() {
  {
    std::lock_guard lock(mutex_);
    serving_ = false;
    ++term_;
  }
  served_.notify_all();
}

void GuiThreadCaller::ResumeServing() {
  std::lock_guard lock(mutex_);
  serving_ = true;
}

bool GuiThreadCaller::InTerm(std::uint64_t term) const {
  std::lock_guard lock(mutex_);
  return serving_ && term_ == term;
}

bool GuiThreadCaller::IsServing() const {
  std::lock_guard lock(mutex_);
  return serving_;
}

}  // namespace tarvex
