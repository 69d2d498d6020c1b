#include "cli/interrupt_signals.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace tarvex::cli {

InterruptSignals::InterruptSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set_, &previous_);
}

InterruptSignals::~InterruptSignals() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool InterruptSignals::WaitFor(std::chrono::milliseconds timeout) {
  if (interrupted_) {
    return true;
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds.count());
  ts.tv_nsec = static_cast<long>(std::chrono::nanoseconds(timeout - seconds).count());
  int signal = 0;
  do {
    signal = sigtimedwait(&set_, nullptr, &ts);
  } while (signal < 0 && errno == EINTR);
  interrupted_ = signal == SIGINT || signal == SIGTERM;
  return interrupted_;
}

}  // namespace tarvex::cli
