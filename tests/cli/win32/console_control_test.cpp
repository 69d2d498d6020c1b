// Ctrl-C, Ctrl-Break and closing the console reach the session through one handler.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/interrupt_signals.h"
#include "cli/win32/console_control.h"

namespace tarvex::cli {
namespace {

using namespace std::chrono_literals;

struct StopEvent {
  DWORD event;
  bool holdsUntilStopped;  // Windows ends the process once the handler returns
  const char* name;
};

// Stable test names for ctest (the default prints the struct's bytes, a pointer among them).
void PrintTo(const StopEvent& stop, std::ostream* out) {
  *out << stop.name;
}

class ConsoleControl : public ::testing::TestWithParam<StopEvent> {};

TEST_P(ConsoleControl, InterruptsTheSessionAndHoldsAClosingConsoleUntilItIsOver) {
  std::optional<InterruptSignals> signals(std::in_place);
  EXPECT_FALSE(signals->WaitFor(0ms));
  std::atomic<bool> returned{false};
  BOOL handled = FALSE;
  std::thread handler([&] {
    handled = OnConsoleControl(GetParam().event);
    returned = true;
  });

  EXPECT_TRUE(signals->WaitFor(5s));
  if (GetParam().holdsUntilStopped) {
    std::this_thread::sleep_for(300ms);  // the jobs are stopping: the process must stay
    EXPECT_FALSE(returned);
  }
  const auto released = std::chrono::steady_clock::now();
  signals.reset();
  handler.join();
  EXPECT_LT(std::chrono::steady_clock::now() - released, 1s);
  EXPECT_TRUE(handled);
}

INSTANTIATE_TEST_SUITE_P(Events, ConsoleControl,
                         ::testing::Values(StopEvent{CTRL_C_EVENT, false, "CtrlC"},
                                           StopEvent{CTRL_BREAK_EVENT, false, "CtrlBreak"},
                                           StopEvent{CTRL_CLOSE_EVENT, true, "Close"},
                                           StopEvent{CTRL_SHUTDOWN_EVENT, true, "Shutdown"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ConsoleControlSessions, AnInterruptBelongsToTheSessionItArrivedIn) {
  {
    InterruptSignals first;
    OnConsoleControl(CTRL_C_EVENT);
    EXPECT_TRUE(first.WaitFor(0ms));
  }
  InterruptSignals next;
  EXPECT_FALSE(next.WaitFor(50ms));
}

TEST(ConsoleControlSessions, LogoffIsLeftToTheNextHandler) {
  InterruptSignals signals;
  EXPECT_FALSE(OnConsoleControl(CTRL_LOGOFF_EVENT));
  EXPECT_FALSE(signals.WaitFor(50ms));
}

}  // namespace
}  // namespace tarvex::cli
