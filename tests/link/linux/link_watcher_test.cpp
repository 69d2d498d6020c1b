// The receive watcher over a pseudo-terminal: its notices, and how every close ends it.
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "sim/pty_line.h"
#include "tests/support/threads_in_poll.h"
#include "tests/support/wait_until.h"

namespace tarvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds QUIET{100};   // for a notice that must not come
constexpr milliseconds PROMPT{500};  // "at once", with room for a loaded machine
constexpr milliseconds EVENTUALLY{2000};

bool WaitUntil(const std::function<bool()>& done, milliseconds limit = EVENTUALLY) {
  return test::WaitUntil(done, limit);
}

template <typename Action>
milliseconds TimeOf(Action action) {
  const Clock::time_point start = Clock::now();
  action();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class LinkWatcher : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.Ok());
    link_.SetReceiveNotice([this] { ++notices_; });
  }

  bool OpenRunning() {
    link_.running() = 1;  // as the callers do just before their open
    return link_.OpenCommPort(line_.SlavePath(), PARITY_CODE_ODD, 115200);
  }

  void SendFromFixture(std::uint8_t byte) { ASSERT_TRUE(line_.Send(&byte, 1)); }

  // With the bytes already waiting, a watcher that noticed them would do so at once.
  bool StaysQuiet(int notices) {
    return !WaitUntil([&] { return notices_ != notices; }, QUIET);
  }

  PtyLine line_;
  SerialLink link_{MakeNativePortBackend()};
  std::atomic<int> notices_{0};
};

TEST_F(LinkWatcher, NoticesArrivalOnceThenOnceMoreOnTheClose) {
  ASSERT_TRUE(OpenRunning());
  EXPECT_TRUE(StaysQuiet(0));

  SendFromFixture(0x01);
  EXPECT_TRUE(WaitUntil([&] { return notices_ == 1; }));
  SendFromFixture(0x02);
  SendFromFixture(0x03);
  ASSERT_TRUE(WaitUntil([&] { return link_.backend().BytesWaiting() == 3; }));
  EXPECT_TRUE(StaysQuiet(1));
  EXPECT_FALSE(link_.WatcherResult().has_value());

  EXPECT_LT(TimeOf([&] { link_.CloseCommPort(); }), PROMPT);
  EXPECT_EQ(notices_, 2);
  EXPECT_EQ(link_.running(), 0u);
  EXPECT_EQ(link_.WatcherResult(), 0u);
  // The released watcher took the gate on its way out; it stays shut until the next close.
  EXPECT_FALSE(link_.receiveGate().IsSet());
}

// CPU time of the whole process, to tell a sleeping watcher from a spinning one.
milliseconds ProcessCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return milliseconds{ts.tv_sec * 1000 + ts.tv_nsec / 1000000};
}

TEST_F(LinkWatcher, SleepsBeforeAndAfterBytesArrive) {
  constexpr milliseconds IDLE{300};
  constexpr milliseconds AT_MOST_BUSY{60};
  ASSERT_TRUE(OpenRunning());
  milliseconds before = ProcessCpuTime();
  std::this_thread::sleep_for(IDLE);
  EXPECT_LT(ProcessCpuTime() - before, AT_MOST_BUSY);

  SendFromFixture(0x01);
  ASSERT_TRUE(WaitUntil([&] { return notices_ == 1; }));
  before = ProcessCpuTime();
  std::this_thread::sleep_for(IDLE);
  EXPECT_LT(ProcessCpuTime() - before, AT_MOST_BUSY);
}

TEST_F(LinkWatcher, TheGateStaysShutAcrossAReopenUntilTheNextClose) {
  ASSERT_TRUE(OpenRunning());
  SendFromFixture(0x01);
  ASSERT_TRUE(WaitUntil([&] { return notices_ == 1; }));
  link_.CloseCommPort();
  ASSERT_EQ(notices_, 2);

  ASSERT_TRUE(OpenRunning());
  SendFromFixture(0x02);
  ASSERT_TRUE(WaitUntil([&] { return link_.backend().BytesWaiting() == 1; }));
  EXPECT_TRUE(StaysQuiet(2));
  link_.CloseCommPort();
  EXPECT_EQ(notices_, 3);
}

TEST_F(LinkWatcher, ClosingWhileItWaitsForThePortEndsItPromptly) {
  ASSERT_TRUE(OpenRunning());
  ASSERT_TRUE(WaitUntil([] { return test::ThreadsInPoll() == 1; }));  // asleep in its port wait
  EXPECT_LT(TimeOf([&] { link_.CloseCommPort(); }), PROMPT);
  EXPECT_EQ(link_.WatcherResult(), 0u);
  EXPECT_EQ(notices_, 0);
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(LinkWatcher, EndsAtOnceWhenNotRunningAndTheCloseDoesNotWait) {
  link_.running() = 0;  // a re-open sets running only after the open
  ASSERT_TRUE(link_.OpenCommPort(line_.SlavePath(), PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(WaitUntil([&] { return link_.WatcherResult().has_value(); }));
  EXPECT_EQ(link_.WatcherResult(), 0u);
  EXPECT_LT(TimeOf([&] { link_.CloseCommPort(); }), PROMPT);
  EXPECT_TRUE(link_.receiveGate().IsSet());
}

TEST_F(LinkWatcher, AHangUpEndsItWithAFailureAndTheCloseStillWorks) {
  ASSERT_TRUE(OpenRunning());
  ASSERT_TRUE(WaitUntil([] { return test::ThreadsInPoll() == 1; }));
  line_.Hangup();
  ASSERT_TRUE(WaitUntil([&] { return link_.WatcherResult().has_value(); }));
  EXPECT_EQ(link_.WatcherResult(), SerialLink::WATCH_FAILED);
  EXPECT_LT(TimeOf([&] { link_.CloseCommPort(); }), PROMPT);
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(LinkWatcher, DestroyingAnOpenLinkRunsTheCloseSequence) {
  auto link = std::make_unique<SerialLink>(MakeNativePortBackend());
  link->running() = 1;
  ASSERT_TRUE(link->OpenCommPort(line_.SlavePath(), PARITY_CODE_ODD, 115200));
  EXPECT_LT(TimeOf([&] { link.reset(); }), PROMPT);
  // The port is free again.
  EXPECT_TRUE(link_.OpenCommPort(line_.SlavePath(), PARITY_CODE_ODD, 115200));
}

}  // namespace
}  // namespace tarvex
