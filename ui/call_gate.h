// Carries calls from worker threads to the UI thread, in order: a call waits until it has run, as
// a blocking queued call does, a post does not wait at all. Unlike a blocking queued call, the
// waits can be released when the window stops serving calls, so
// a worker never hangs on a window that is shutting down. Toolkit-free: the toolkit supplies a
// way to wake its UI thread, which then runs RunPending().
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace tarvex {

struct UiThreadHooks {
  // Asks the UI thread to call RunPending() soon. Called from any thread, possibly many times.
  std::function<void()> wake;
  // Whether the calling thread is the UI thread.
  std::function<bool()> onUiThread;
};

class UiCallGate {
 public:
  explicit UiCallGate(UiThreadHooks hooks);
  ~UiCallGate();
  UiCallGate(const UiCallGate&) = delete;
  UiCallGate& operator=(const UiCallGate&) = delete;

  // On the UI thread: runs `fn` at once. From any other thread: has the UI thread run it and
  // returns when it has, or at once without running it when serving has stopped. `fn` must own
  // what it uses: a released caller may return while `fn` still runs.
  void Call(std::function<void()> fn);
  // Has the UI thread run `fn` in turn with the calls before it, without waiting for it (at once
  // on the UI thread). Dropped when serving has stopped.
  void Post(std::function<void()> fn);

  // On the UI thread: runs the calls waiting, oldest first. Re-entrant: a call that runs a modal
  // loop may have this run again inside it.
  void RunPending();

  // On the UI thread. StopServing() drops the calls waiting and releases their callers; calls
  // from other threads return at once until ResumeServing().
  void StopServing();
  void ResumeServing();
  bool IsServing() const;

 private:
  struct Pending {
    std::function<void()> fn;
    std::shared_ptr<bool> done;  // guarded by mutex_; empty for a posted call
  };

  void Finish(const std::shared_ptr<bool>& done);

  UiThreadHooks hooks_;
  mutable std::mutex mutex_;
  std::condition_variable served_;
  std::deque<Pending> pending_;
  bool serving_ = true;
};

}  // namespace tarvex
