// A manual-reset event: stays set until reset, releases every waiter while set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvex {

class ManualEvent {
 public:
  explicit ManualEvent(bool initiallySet = false);
  void Set();
  void Reset();
  bool IsSet() const;
  void Wait();
  // True when the event was set within `timeout`, false on time-out.
  bool WaitFor(std::chrono::nanoseconds timeout);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

}  // namespace tarvex
