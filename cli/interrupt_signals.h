// Ctrl-C and its kin as an event the main thread waits for, instead of handlers that interrupt
// it: SIGINT, SIGTERM and SIGHUP (the terminal closed) on POSIX; Ctrl-C, Ctrl-Break and closing
// the console on Windows.
#pragma once

#include <chrono>
#include <memory>

#include "cli/commands.h"

namespace tarvex::cli {

class InterruptSignals {
 public:
  // Takes over the interrupts until destroyed. POSIX: blocks SIGINT, SIGTERM and SIGHUP in the
  // calling thread, and threads started afterwards inherit the mask, so only WaitFor() ever takes
  // them; construct it before starting any job. One that the parent set to be ignored (nohup, a
  // background job of a script) stays ignored. Windows: a console control handler.
  InterruptSignals();
  // Gives the interrupts back. On Windows a console being closed is held until then, so the
  // caller destroys this once every job has stopped and its port is closed.
  ~InterruptSignals();
  InterruptSignals(const InterruptSignals&) = delete;
  InterruptSignals& operator=(const InterruptSignals&) = delete;

  // Sleeps up to `timeout`; true when an interrupt arrived (now or earlier).
  bool WaitFor(std::chrono::milliseconds timeout);
  bool Interrupted() const { return interrupted_; }
  // The exit status the interrupt calls for: EXIT_HANGUP or EXIT_INTERRUPTED.
  int ExitStatus() const { return exitStatus_; }

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
  bool interrupted_ = false;
  int exitStatus_ = EXIT_INTERRUPTED;
};

}  // namespace tarvex::cli
