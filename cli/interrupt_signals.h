// Ctrl-C and SIGTERM as events the main thread waits for, instead of handlers that interrupt it.
#pragma once

#include <chrono>
#include <csignal>

namespace tarvex::cli {

class InterruptSignals {
 public:
  // Blocks SIGINT and SIGTERM in the calling thread; threads started afterwards inherit the mask,
  // so only WaitFor() ever takes them. Construct it before starting any job.
  InterruptSignals();
  ~InterruptSignals();  // restores the previous mask
  InterruptSignals(const InterruptSignals&) = delete;
  InterruptSignals& operator=(const InterruptSignals&) = delete;

  // Sleeps up to `timeout`; true when SIGINT or SIGTERM arrived (now or earlier).
  bool WaitFor(std::chrono::milliseconds timeout);
  bool Interrupted() const { return interrupted_; }

 private:
  sigset_t set_;
  sigset_t previous_;
  bool interrupted_ = false;
};

}  // namespace tarvex::cli
