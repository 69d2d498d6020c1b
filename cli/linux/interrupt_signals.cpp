#include "cli/interrupt_signals.h"

#include <pthread.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>

namespace tarvex::cli {

namespace {

constexpr std::array<int, 3> INTERRUPTS{SIGINT, SIGTERM, SIGHUP};

// Blocking a signal that is ignored would keep it pending for sigtimedwait to take, and so undo
// what `nohup` or a script's `&` asked for.
bool Ignored(int signal) {
  struct sigaction action {};
  return sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

}  // namespace

struct InterruptSignals::Platform {
  sigset_t set;
  sigset_t previous;
};

InterruptSignals::InterruptSignals() : platform_(std::make_unique<Platform>()) {
  sigemptyset(&platform_->set);
  for (const int signal : INTERRUPTS) {
    if (!Ignored(signal)) {
      sigaddset(&platform_->set, signal);
    }
  }
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
  interrupted_ = signal > 0;
  exitStatus_ = signal == SIGHUP ? EXIT_HANGUP : EXIT_INTERRUPTED;
  return interrupted_;
}

}  // namespace tarvex::cli
