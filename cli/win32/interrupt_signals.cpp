#include "cli/interrupt_signals.h"

#include <algorithm>
#include <mutex>

#include "cli/win32/console_control.h"

namespace tarvex::cli {

namespace {

struct ControlState {
  std::mutex mutex;  // guards users
  int users = 0;     // InterruptSignals alive; the handler is installed while there are any
  HANDLE requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // an interrupt arrived
  HANDLE released = CreateEventW(nullptr, TRUE, FALSE, nullptr);   // the last session is over
};

// One per process, never destroyed: the handler runs on a thread of its own and may still be
// waiting on `released` when the last InterruptSignals goes.
ControlState& State() {
  static ControlState* const state = new ControlState;
  return *state;
}

}  // namespace

BOOL WINAPI OnConsoleControl(DWORD event) {
  ControlState& state = State();
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      SetEvent(state.requested);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      SetEvent(state.requested);
      WaitForSingleObject(state.released, CLOSE_HOLD_MS);
      return TRUE;
    default:
      return FALSE;
  }
}

// Nothing per instance: the console has one set of handlers for the whole process.
struct InterruptSignals::Platform {};

InterruptSignals::InterruptSignals() {
  ControlState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.users++ == 0) {
    // An interrupt of an earlier session is not this one's.
    ResetEvent(state.requested);
    ResetEvent(state.released);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
}

InterruptSignals::~InterruptSignals() {
  ControlState& state = State();
  std::lock_guard lock(state.mutex);
  if (--state.users == 0) {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    SetEvent(state.released);
  }
}

bool InterruptSignals::WaitFor(std::chrono::milliseconds timeout) {
  if (!interrupted_) {
    const auto ms =
        static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(0, timeout.count()));
    interrupted_ = WaitForSingleObject(State().requested, ms) == WAIT_OBJECT_0;
  }
  return interrupted_;
}

}  // namespace tarvex::cli
