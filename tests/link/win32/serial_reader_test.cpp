// The fixture's reader on Windows, under Wine against the line server's pseudo-terminal: each
// setting reaches the line at once without a reopen, a read waits no longer than asked and
// returns every byte value as sent, and a discard drops what waits.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <vector>

#include "link/serial_reader.h"
#include "tests/support/wait_until.h"
#include "tests/support/win32/line_client.h"

namespace tarvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds EVENTUALLY{3000};
constexpr LineSettings DOWNLOAD{100000, PARITY_CODE_EVEN, 1};

class WindowsSerialReader : public testing::Test {
 protected:
  void SetUp() override {
    if (!line_.Available()) {
      GTEST_SKIP() << line_.Reason();
    }
    ASSERT_TRUE(line_.Reset()) << line_.Reason();
    ASSERT_TRUE(reader_->Open(test::ComName(), DOWNLOAD)) << reader_->LastError().Message();
  }

  // Reads until `count` bytes have come or EVENTUALLY has passed.
  ReceivedBytes ReadUpTo(std::size_t count) {
    ReceivedBytes received;
    const Clock::time_point end = Clock::now() + EVENTUALLY;
    while (received.bytes.size() < count && Clock::now() < end) {
      EXPECT_TRUE(reader_->Read(milliseconds{50}, received)) << reader_->LastError().Message();
    }
    return received;
  }

  test::LineClient line_;
  std::unique_ptr<SerialReader> reader_ = MakeNativeSerialReader();
};

TEST_F(WindowsSerialReader, EachSettingReachesTheLineAtOnce) {
  const struct {
    LineSettings settings;
    bool odd;
    bool checked;
  } cases[] = {
      {{250000, PARITY_CODE_NONE, 2}, false, false},
      {{115200, PARITY_CODE_ODD, 1}, true, true},
      {DOWNLOAD, false, true},
      {DOWNLOAD, false, true},  // the same again: Wine must not refuse a change of nothing
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(reader_->Apply(c.settings)) << reader_->LastError().Message();
    EXPECT_EQ(reader_->Settings(), c.settings);
    const auto shown = line_.Settings();
    ASSERT_TRUE(shown.has_value()) << line_.Reason();
    EXPECT_EQ(shown->baud, c.settings.baud);
    EXPECT_EQ(shown->stopBits, c.settings.stopBits);
    EXPECT_EQ(shown->oddParity, c.odd);
    EXPECT_EQ(shown->parityCheck, c.checked);
    EXPECT_FALSE(shown->hardwareFlow);
    EXPECT_FALSE(shown->inputXonXoff);
  }
}

TEST_F(WindowsSerialReader, AReadWaitsAsLongAsAskedThenEveryByteValueComesUnchanged) {
  ReceivedBytes received;
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(reader_->Read(milliseconds{200}, received)) << reader_->LastError().Message();
  const auto waited = Clock::now() - start;
  EXPECT_TRUE(received.bytes.empty());
  EXPECT_GE(waited, milliseconds{150});
  EXPECT_LT(waited, milliseconds{1500});

  std::vector<std::uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  ASSERT_TRUE(line_.Send(all)) << line_.Reason();
  const ReceivedBytes got = ReadUpTo(all.size());
  EXPECT_EQ(got.bytes, all);
  EXPECT_TRUE(got.marked.empty());
  // Wine reports no line errors: the reader must not claim to check the line.
  EXPECT_FALSE(reader_->ChecksLine());
  EXPECT_EQ(reader_->ErrorCounts(), std::nullopt);
}

TEST_F(WindowsSerialReader, ADiscardDropsWhatWaitsAndNothingAfterIt) {
  ASSERT_TRUE(line_.Send({1, 2, 3, 4, 5}));
  ASSERT_TRUE(
      test::WaitUntil([&] { return line_.Queued() == std::optional<std::size_t>{5}; }, EVENTUALLY));
  reader_->DiscardInput();
  ASSERT_TRUE(line_.Send({9}));
  EXPECT_EQ(ReadUpTo(1).bytes, std::vector<std::uint8_t>{9});
}

TEST_F(WindowsSerialReader, ASecondOpenOrAMissingPortFailsWithTheReason) {
  EXPECT_FALSE(reader_->Open(test::ComName(), DOWNLOAD));
  const std::unique_ptr<SerialReader> other = MakeNativeSerialReader();
  EXPECT_FALSE(other->Open("COM87", DOWNLOAD));
  EXPECT_NE(other->LastError().Message().find("no such port"), std::string::npos)
      << other->LastError().Message();
}

}  // namespace
}  // namespace tarvex
