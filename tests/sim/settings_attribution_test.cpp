// Which settings bytes read from a pseudo-terminal are given, for each order of reads that the
// kernel can produce.
#include "sim/settings_attribution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvex {
namespace {

constexpr LineSettings S1{100000, PARITY_CODE_EVEN, 1};
constexpr LineSettings S2{250000, PARITY_CODE_NONE, 2};
constexpr LineSettings UNKNOWN{};

// One read of the master: 'c' a change to S1, 'C' a change to S2, 'e' nothing waiting, any other
// letter bytes of that value.
struct AttributionCase {
  std::string name;
  std::string reads;
  std::vector<LineSettings> expected;  // one per letter of bytes, in order
};

void PrintTo(const AttributionCase& c, std::ostream* os) {
  *os << c.name;
}

class SettingsAttributionTest : public testing::TestWithParam<AttributionCase> {};

TEST_P(SettingsAttributionTest, BytesGetTheSettingsTheyWereWrittenAtOrNone) {
  SettingsAttribution attribution;
  for (const char read : GetParam().reads) {
    switch (read) {
      case 'c':
        attribution.Changed(S1);
        break;
      case 'C':
        attribution.Changed(S2);
        break;
      case 'e':
        attribution.Empty({});
        break;
      default:
        attribution.Bytes(std::vector<std::uint8_t>{static_cast<std::uint8_t>(read)});
    }
  }
  std::vector<LineSettings> got;
  while (const std::optional<AttributedBytes> bytes = attribution.Take()) {
    got.push_back(bytes->settings);
    // Bytes of unknown settings may have waited unread; the others were read as they came.
    EXPECT_EQ(bytes->writtenFrom.has_value(), bytes->settings.baud == 0);
  }
  EXPECT_EQ(got, GetParam().expected);
}

const std::vector<AttributionCase> ATTRIBUTION_CASES = {
    {"BetweenEmptyReads", "ceaBe", {S1, S1}},
    // Bytes reported after a change may have been written before it.
    {"AfterAChangeBeforeTheLineWasEmpty", "ceCaebe", {UNKNOWN, S2}},
    // The change may have come while the bytes were read, and bytes after it with them.
    {"ReadRightBeforeAChange", "ceaCe", {UNKNOWN}},
    // Undecided until the read after them.
    {"NotYetFollowedByARead", "cea", {}},
    {"BeforeTheFirstChangeSeen", "ab", {UNKNOWN}},
};

INSTANTIATE_TEST_SUITE_P(Reads, SettingsAttributionTest, testing::ValuesIn(ATTRIBUTION_CASES),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace tarvex
