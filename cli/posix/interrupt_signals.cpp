#include "cli/interrupt_signals.h"

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace tarvex::cli {

struct InterruptSignals::Platform {
  sigset_t set;
  sigset_t previous;
};

InterruptSignals::InterruptSignals() : platform_(std::make_unique<Platform>()) {
  sigemptyset(&platform_->set);
  sigaddset(&platform_->set, SIGINT);
  sigaddset(&platform_->set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &platform_->set, &platform_->previous);
}

InterruptSignals::~InterruptSignals() {
  pthread_sigmask(SIG_SETMASK, &platform_->previous, nullptr);
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
    signal = sigtimedwait(&platform_->set, nullptr, &ts);
  } while (signal < 0 && errno == EINTR);
  interrupted_ = signal == SIGINT || signal == SIGTERM;
  return interrupted_;
}

}  // namespace tarvex::cli
