// The pacing table, and the one seam through which tests compress it.
#include "protocol/pacing.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

using std::chrono::milliseconds;

struct PacingRow {
  DownloadState state;
  milliseconds wait;
};

class PacingTable : public testing::TestWithParam<PacingRow> {};

TEST_P(PacingTable, WaitBeforeTheStep) {
  EXPECT_EQ(PacingDelay(GetParam().state), GetParam().wait) << "state " << GetParam().state;
}

INSTANTIATE_TEST_SUITE_P(
    States, PacingTable,
    testing::Values(
        PacingRow{DL_WAKE_BREAK, milliseconds{0}}, PacingRow{DL_WAKE_FRAME, milliseconds{1000}},
        PacingRow{DL_ANNOUNCE, milliseconds{100}}, PacingRow{DL_BLANK, milliseconds{10000}},
        PacingRow{DL_MODEL, milliseconds{1000}}, PacingRow{DL_SIZE, milliseconds{20}},
        PacingRow{DL_START, milliseconds{20}}, PacingRow{DL_DATA, milliseconds{20000}},
        PacingRow{DL_DATA + 1, milliseconds{100}}, PacingRow{DL_DATA_LAST, milliseconds{100}},
        PacingRow{DL_WAIT_RESET, milliseconds{10000}}, PacingRow{DL_DONE, milliseconds{100}},
        PacingRow{DL_TEST, milliseconds{0}},
        // Values no step leads to wait like DL_DONE.
        PacingRow{50003, milliseconds{100}}, PacingRow{65535, milliseconds{100}}));

TEST(ScaledDelay, MultipliesAndNeverGoesNegative) {
  EXPECT_EQ(ScaledDelay(milliseconds{20000}, 1.0), std::chrono::seconds{20});
  EXPECT_EQ(ScaledDelay(milliseconds{20000}, 0.001), milliseconds{20});
  EXPECT_EQ(ScaledDelay(milliseconds{100}, 0.0), std::chrono::nanoseconds{0});
  EXPECT_EQ(ScaledDelay(milliseconds{100}, -1.0), std::chrono::nanoseconds{0});
}

}  // namespace
}  // namespace tarvex
