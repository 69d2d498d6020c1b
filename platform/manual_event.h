// A manual-reset event: stays set until reset, releases every waiter while set.
#pragma once

#include <chrono>
#include <memory>

namespace tarvex {

class ManualEvent {
 public:
  explicit ManualEvent(bool initiallySet = false);
  ~ManualEvent();
  ManualEvent(const ManualEvent&) = delete;
  ManualEvent& operator=(const ManualEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  void Wait();
  // True when the event was set before `deadline`, false once steady_clock has reached it,
  // never earlier: the pacing of a download waits here.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);
  // WaitUntil(now + timeout).
  bool WaitFor(std::chrono::nanoseconds timeout);

 private:
  // A mutex and condition variable on Linux; a system event and a fine-grained timer on Windows,
  // whose condition-variable waits keep to the coarse system timer.
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarvex
