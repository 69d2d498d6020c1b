// The Windows link on a COM port whose far end the test drives: line settings as the line shows
// them, purge at open, the watcher's notices and its end, a write's time-out and its cut-short,
// exclusivity, names and the port list. Under Wine the port is a pseudo-terminal.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include <ostream>

#include <gtest/gtest.h>

#include "link/port_list.h"
#include "link/serial_link.h"
#include "tests/support/wait_until.h"
#include "tests/support/win32/line_client.h"

namespace tarvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds PROMPT{500};  // "at once", with room for a loaded machine
constexpr milliseconds EVENTUALLY{3000};

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool WaitUntil(const std::function<bool()>& done, milliseconds limit = EVENTUALLY) {
  return test::WaitUntil(done, limit);
}

class ComLink : public testing::Test {
 protected:
  void SetUp() override {
    if (!line_.Available()) {
      GTEST_SKIP() << line_.Reason();
    }
    ASSERT_TRUE(line_.Reset()) << line_.Reason();
    port_ = test::ComName();
  }

  bool Open(std::uint8_t parity, std::uint32_t baud) {
    return link_.OpenCommPort(port_, parity, baud);
  }

  test::LineClient line_;
  std::string port_;
  SerialLink link_{MakeNativePortBackend()};
};

struct SettingsCase {
  const char* name;
  std::uint32_t baud;
  std::uint8_t parity;
  bool odd;      // what a pseudo-terminal can show of the parity
  bool checked;  // parity checking on (INPCK)
  int stopBits;
};

void PrintTo(const SettingsCase& c, std::ostream* out) {
  *out << c.name;
}

class ComLinkSettings : public ComLink, public testing::WithParamInterface<SettingsCase> {};

TEST_P(ComLinkSettings, ReachTheLineExactly) {
  const SettingsCase& c = GetParam();
  ASSERT_TRUE(Open(c.parity, c.baud)) << link_.LastError().Message();
  const auto shown = line_.Settings();
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->baud, c.baud);
  EXPECT_EQ(shown->oddParity, c.odd);
  EXPECT_EQ(shown->parityCheck, c.checked);
  EXPECT_EQ(shown->stopBits, c.stopBits);
  EXPECT_TRUE(shown->eightDataBits);
  EXPECT_FALSE(shown->hardwareFlow);
  EXPECT_FALSE(shown->outputXonXoff);
  EXPECT_FALSE(shown->inputXonXoff);
  // RTS held off; DTR is the driver's business.
  const auto modem = line_.ModemChanges();
  ASSERT_FALSE(modem.empty());
  EXPECT_FALSE(modem.back().rts);
}

INSTANTIATE_TEST_SUITE_P(
    TheOpensInUse, ComLinkSettings,
    testing::Values(SettingsCase{"Download_100000_8E1", 100000, PARITY_CODE_EVEN, false, true, 1},
                    SettingsCase{"Wake_250000_8N2", 250000, PARITY_CODE_NONE, false, false, 2},
                    SettingsCase{"Announce_115200_8O1", 115200, PARITY_CODE_ODD, true, true, 1}),
    [](const testing::TestParamInfo<SettingsCase>& param) { return param.param.name; });

TEST_F(ComLink, EveryByteValueArrivesUnchangedThroughANameAboveCom9) {
  ASSERT_GT(port_.size(), 4u) << "the harness maps a COM number of two digits";
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200)) << link_.LastError().Message();
  std::vector<std::uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(link_.WriteComm(all.data(), 256), 256u);
  EXPECT_EQ(line_.Read(all.size(), EVENTUALLY), std::optional{all});
}

TEST_F(ComLink, BytesSentBeforeTheOpenAreDiscarded) {
  // Opened and closed once so that the driver holds the line while the bytes come.
  ASSERT_TRUE(Open(PARITY_CODE_EVEN, 100000));
  link_.CloseCommPort();
  ASSERT_TRUE(line_.Send({1, 2, 3, 4, 5}));
  ASSERT_TRUE(WaitUntil([&] { return line_.Queued() == std::optional<std::size_t>{5}; }));
  ASSERT_TRUE(Open(PARITY_CODE_EVEN, 100000));
  EXPECT_EQ(link_.backend().BytesWaiting(), 0);
  ASSERT_TRUE(line_.Send({9}));
  EXPECT_TRUE(WaitUntil([&] { return link_.backend().BytesWaiting() == 1; }));
}

TEST_F(ComLink, TheWatcherNoticesOnceThenOnceMoreAtTheClose) {
  std::atomic<int> notices{0};
  link_.SetReceiveNotice([&] { ++notices; });
  link_.receiveGate().Set();
  link_.running() = 1;
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.Send({0x41, 0x42, 0x43}));
  EXPECT_TRUE(WaitUntil([&] { return notices == 1; }));
  ASSERT_TRUE(line_.Send({0x44}));
  ASSERT_TRUE(WaitUntil([&] { return link_.backend().BytesWaiting() == 4; }));
  // The byte is there: a watcher that noticed it would do so now.
  EXPECT_FALSE(WaitUntil([&] { return notices != 1; }, milliseconds{100}));

  const Clock::time_point start = Clock::now();
  link_.CloseCommPort();
  EXPECT_LT(Clock::now() - start, PROMPT);
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(link_.WatcherResult(), std::optional<std::uint32_t>{0});
}

TEST_F(ComLink, TheCloseEndsAWatcherWaitingForACharacter) {
  link_.running() = 1;
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  std::this_thread::sleep_for(milliseconds{100});  // into its wait
  const Clock::time_point start = Clock::now();
  link_.CloseCommPort();
  EXPECT_LT(Clock::now() - start, PROMPT);
  EXPECT_EQ(link_.WatcherResult(), std::optional<std::uint32_t>{0});
  EXPECT_FALSE(link_.IsOpen());
}

TEST_F(ComLink, AStalledWriteGivesUpAtItsTimeOutAndLeavesNothingBehind) {
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.Suspend());
  const std::vector<std::uint8_t> frame(10, 0xAA);
  const Clock::time_point start = Clock::now();
  const std::uint32_t written = link_.WriteComm(frame.data(), 10);
  const auto took = Clock::now() - start;
  EXPECT_LT(written, 10u);
  EXPECT_GE(took, WriteTimeout(10) - milliseconds{20});
  EXPECT_LT(took, WriteTimeout(10) + milliseconds{1500});
  EXPECT_EQ(link_.LastError().code, std::errc::timed_out);

  ASSERT_TRUE(line_.Resume());
  line_.Read(10, milliseconds{200});  // what the driver had taken before the stall, if anything
  const std::uint8_t next = 0x42;
  EXPECT_EQ(link_.WriteComm(&next, 1), 1u);
  EXPECT_EQ(line_.Read(2, milliseconds{300}), std::optional{std::vector<std::uint8_t>{0x42}});
}

TEST_F(ComLink, ACancelCutsAStalledWriteShort) {
  link_.running() = 1;
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  ASSERT_TRUE(line_.Suspend());
  auto writing = std::async(std::launch::async, [this] {
    const std::vector<std::uint8_t> frame(1033, 0x33);
    return link_.WriteComm(frame.data(), 1033);
  });
  std::this_thread::sleep_for(milliseconds{200});
  link_.InterruptIo();
  ASSERT_EQ(writing.wait_for(PROMPT), std::future_status::ready);
  EXPECT_LT(writing.get(), 1033u);
  link_.CloseCommPort();
  EXPECT_FALSE(link_.IsOpen());
  ASSERT_TRUE(line_.Resume());
}

TEST_F(ComLink, APortHeldWithoutSharingCannotBeOpenedAgain) {
  if (UnderWine()) {
    GTEST_SKIP() << "Wine lets a second handle open a COM port held without sharing; "
                    "Windows refuses it with ERROR_ACCESS_DENIED";
  }
  ASSERT_TRUE(Open(PARITY_CODE_ODD, 115200));
  SerialLink second(MakeNativePortBackend());
  EXPECT_FALSE(second.OpenCommPort(port_, PARITY_CODE_ODD, 115200));
  EXPECT_NE(second.LastError().Message().find("in use by another program"), std::string::npos);
  link_.CloseCommPort();
  EXPECT_TRUE(second.OpenCommPort(port_, PARITY_CODE_ODD, 115200));
}

TEST_F(ComLink, AMissingPortSaysWhereToLook) {
  EXPECT_FALSE(link_.OpenCommPort("COM199", PARITY_CODE_ODD, 115200));
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_NE(link_.LastError().Message().find("see `tarvex-cli ports`"), std::string::npos)
      << link_.LastError().Message();
}

TEST_F(ComLink, ThePortListShowsThePortPresent) {
  const auto present = ListUsbSerialAdapters();
  EXPECT_TRUE(std::any_of(present.begin(), present.end(),
                          [&](const SerialAdapter& port) { return port.path == port_; }))
      << port_ << " is not listed";
}

}  // namespace
}  // namespace tarvex
