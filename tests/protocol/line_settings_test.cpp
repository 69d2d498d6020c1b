// The stop-bit rule and the timing derived from line settings.
#include <gtest/gtest.h>

#include "protocol/line_settings.h"

namespace tarvex {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

struct RuleCase {
  std::uint32_t baud;
  std::uint8_t parity;
  std::uint8_t stopBits;
  std::uint32_t bitsPerCharacter;
  const char* text;
};

void PrintTo(const RuleCase& c, std::ostream* out) {
  *out << c.text;
}

class StopBitRule : public testing::TestWithParam<RuleCase> {};

TEST_P(StopBitRule, GivesStopBitsAndCharacterLength) {
  const RuleCase& c = GetParam();
  const LineSettings settings = MakeLineSettings(c.baud, c.parity);
  EXPECT_EQ(settings.baud, c.baud);
  EXPECT_EQ(settings.parity, c.parity);
  EXPECT_EQ(settings.stopBits, c.stopBits);
  EXPECT_EQ(BitsPerCharacter(settings), c.bitsPerCharacter);
  EXPECT_EQ(Describe(settings), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, StopBitRule,
                         testing::Values(RuleCase{100000, PARITY_CODE_EVEN, 1, 11, "100000 8E1"},
                                         RuleCase{250000, PARITY_CODE_NONE, 2, 11, "250000 8N2"},
                                         RuleCase{115200, PARITY_CODE_ODD, 1, 11, "115200 8O1"},
                                         RuleCase{140000, PARITY_CODE_NONE, 1, 10, "140000 8N1"},
                                         RuleCase{140000, PARITY_CODE_EVEN, 1, 11, "140000 8E1"},
                                         RuleCase{139999, PARITY_CODE_NONE, 2, 11, "139999 8N2"},
                                         RuleCase{140001, PARITY_CODE_NONE, 2, 11, "140001 8N2"}));

TEST(WireTime, IsCharactersTimesBitsOverSpeedRoundedUp) {
  const LineSettings download = MakeLineSettings(115200, PARITY_CODE_ODD);
  EXPECT_EQ(WireTime(download, 1033), microseconds{98638});  // 11363 bits / 115200 bit/s
  EXPECT_EQ(WireTime(MakeLineSettings(250000, PARITY_CODE_NONE), 513), microseconds{22572});
  EXPECT_EQ(WireTime(MakeLineSettings(100000, PARITY_CODE_EVEN), 1), microseconds{110});
  EXPECT_EQ(WireTime(download, 0), microseconds{0});
  EXPECT_EQ(WireTime(LineSettings{}, 10), microseconds{0});  // no speed: no floor
}

TEST(WriteTimeout, Is2000MsPlus50MsPerByte) {
  EXPECT_EQ(WriteTimeout(0), milliseconds{2000});
  EXPECT_EQ(WriteTimeout(16), milliseconds{2800});
  EXPECT_EQ(WriteTimeout(1033), milliseconds{53650});
  EXPECT_EQ(WriteTimeout(0xFFFFFFFF), milliseconds{2000 + 50ull * 0xFFFFFFFF});
}

}  // namespace
}  // namespace tarvex
