// Writes over a pseudo-terminal: the wire-time floor, the write time-out, a vanished device and
// a close that lands during a write.
#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "sim/pty_line.h"
#include "tests/support/threads_in_poll.h"
#include "tests/support/wait_until.h"

namespace tarvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds PROMPT{500};

class LinkWrite : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(line_.Ok()); }

  bool Open(std::uint8_t parity, std::uint32_t baud) {
    return link_.OpenCommPort(line_.SlavePath(), parity, baud);
  }

  // Writes and measures how long the write took.
  std::uint32_t TimedWrite(const std::vector<std::uint8_t>& bytes, milliseconds& took) {
    const Clock::time_point start = Clock::now();
    const std::uint32_t written =
        link_.WriteComm(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return written;
  }

  PtyLine line_;
  SerialLink link_{MakeNativePortBackend()};
};

TEST_F(LinkWrite, LastsAtLeastTheFramesTimeOnTheWire) {
  // A data block frame at 115200 8O1: 1033 bytes x 11 bits = 98.6 ms, although a
  // pseudo-terminal takes it at once.
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  std::vector<std::uint8_t> frame(1033, 0x55);
  const auto wire = std::chrono::ceil<milliseconds>(
      WireTime(MakeLineSettings(115200, PARITY_CODE_ODD), frame.size()));
  ASSERT_EQ(wire, milliseconds{99});
  milliseconds took{};
  EXPECT_EQ(TimedWrite(frame, took), 1033u);
  EXPECT_GE(took, wire - milliseconds{1});
  EXPECT_LT(took, wire + PROMPT);
  EXPECT_EQ(line_.ReadFor(frame.size(), PROMPT), frame);
}

TEST_F(LinkWrite, AWriteThatLeavesTheWireTimeToTheCallerSaysWhenTheLineIsFree) {
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  const std::vector<std::uint8_t> frame(1033, 0x5A);
  const auto wire = WireTime(MakeLineSettings(115200, PARITY_CODE_ODD), frame.size());
  const Clock::time_point before = Clock::now();
  const SerialLink::Drained drained = link_.WriteDrained(frame.data(), 1033);
  const Clock::time_point after = Clock::now();
  EXPECT_EQ(drained.count, 1033u);
  EXPECT_GE(drained.lineFree, before + wire);
  EXPECT_LE(drained.lineFree, after + wire);
  EXPECT_EQ(line_.ReadFor(frame.size(), PROMPT), frame);
}

TEST_F(LinkWrite, ASingleByteAtTheWakeSpeedIsShort) {
  ASSERT_TRUE(Open(PARITY_CODE_EVEN, 100000));
  milliseconds took{};
  EXPECT_EQ(TimedWrite({0x00}, took), 1u);
  EXPECT_LT(took, PROMPT);
  EXPECT_EQ(line_.ReadFor(1, PROMPT), std::vector<std::uint8_t>{0x00});
}

TEST_F(LinkWrite, GivesUpAtTheWriteTimeOutWithTheShortCount) {
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.SuspendOutput());
  const std::vector<std::uint8_t> frame(10, 0xAA);
  const milliseconds limit = WriteTimeout(10);  // 2000 + 50 x 10 ms
  ASSERT_EQ(limit, milliseconds{2500});
  milliseconds took{};
  EXPECT_EQ(TimedWrite(frame, took), 0u);
  EXPECT_GE(took, limit - milliseconds{10});
  EXPECT_LT(took, limit + milliseconds{1000});
  EXPECT_EQ(link_.LastError().code, std::errc::timed_out);

  // Nothing of the abandoned frame trails into the next one.
  ASSERT_TRUE(line_.ResumeOutput());
  EXPECT_EQ(TimedWrite({0x42}, took), 1u);
  EXPECT_EQ(line_.ReadFor(2, milliseconds{200}), std::vector<std::uint8_t>{0x42});
}

TEST_F(LinkWrite, ReturnsZeroPromptlyWhenTheDeviceHasGone) {
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  line_.Hangup();
  milliseconds took{};
  EXPECT_EQ(TimedWrite(std::vector<std::uint8_t>(16, 0x11), took), 0u);
  EXPECT_LT(took, PROMPT);
  EXPECT_EQ(link_.LastError().code, std::errc::io_error);
  link_.CloseCommPort();
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(LinkWrite, ACloseDuringAStuckWriteEndsItPromptly) {
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.SuspendOutput());
  auto writing = std::async(std::launch::async, [this] {
    const std::vector<std::uint8_t> frame(1033, 0x33);
    return link_.WriteComm(frame.data(), static_cast<std::uint32_t>(frame.size()));
  });
  ASSERT_TRUE(test::WaitUntil([] { return test::ThreadsInPoll() == 1; }, PROMPT));  // stuck
  const Clock::time_point start = Clock::now();
  link_.CloseCommPort();
  EXPECT_LT(Clock::now() - start, PROMPT);
  ASSERT_EQ(writing.wait_for(PROMPT), std::future_status::ready);
  EXPECT_EQ(writing.get(), 0u);
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(LinkWrite, AnInterruptEndsAStuckWriteAndTheWatcherButLeavesThePortToTheClose) {
  link_.running() = 1;  // before the open, as callers do: the watcher then waits for the port
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.SuspendOutput());
  auto writing = std::async(std::launch::async, [this] {
    const std::vector<std::uint8_t> frame(1033, 0x33);
    return link_.WriteComm(frame.data(), static_cast<std::uint32_t>(frame.size()));
  });
  // The watcher and the stuck write.
  ASSERT_TRUE(test::WaitUntil([] { return test::ThreadsInPoll() == 2; }, PROMPT));
  link_.InterruptIo();
  ASSERT_EQ(writing.wait_for(PROMPT), std::future_status::ready);
  EXPECT_LT(writing.get(), 1033u);
  EXPECT_EQ(link_.running(), 0u);
  EXPECT_TRUE(link_.IsOpen());
  const Clock::time_point start = Clock::now();
  link_.CloseCommPort();
  EXPECT_LT(Clock::now() - start, PROMPT);
  EXPECT_EQ(link_.WatcherResult(), std::optional<std::uint32_t>{0});
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(LinkWrite, WritesNothingWhenNoPortIsOpen) {
  const std::uint8_t byte = 0x01;
  EXPECT_EQ(link_.WriteComm(&byte, 1), 0u);
  EXPECT_TRUE(link_.LastError());
}

}  // namespace
}  // namespace tarvex
