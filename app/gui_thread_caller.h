// Carries calls from worker threads to the thread of a QObject and waits until each has run, as a
// blocking queued call does; unlike one, the waits can be released when the window stops
// serving calls, so a worker never hangs on a window that is shutting down.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tarvex {

class GuiThreadCaller {
 public:
  explicit GuiThreadCaller(QObject& context) : context_(context) {}
  GuiThreadCaller(const GuiThreadCaller&) = delete;
  GuiThreadCaller& operator=(const GuiThreadCaller&) = delete;

  // On the context's thread: runs `fn` at once. From any other thread: has the context's thread
  // run it and returns when it has, or at once without running it when serving has stopped.
  // `fn` must own what it uses: a released caller may return while `fn` still runs.
  void Call(std::function<void()> fn);

  // Both on the context's thread. StopServing() releases every waiting caller; calls from other
  // threads return at once until ResumeServing().
  void StopServing();
  void ResumeServing();
  bool IsServing() const;

 private:
  bool InTerm(std::uint64_t term) const;

  QObject& context_;
  mutable std::mutex mutex_;
  std::condition_variable served_;
  bool serving_ = true;
  std::uint64_t term_ = 0;  // counts the stops, so calls queued before one are never run
};

}  // namespace tarvex
