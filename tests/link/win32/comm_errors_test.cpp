// ClearCommError's flags as counts: a break is not also a framing or parity error, and an
// overrun of the UART and of the driver's queue are both bytes lost.
#include "link/win32/comm_errors.h"

#include <gtest/gtest.h>

namespace tarvex::win32 {
namespace {

TEST(CommErrors, EachFlagCountsOnceWhereItBelongs) {
  const struct {
    DWORD flags;
    LineErrorCounts expected;  // framing, parity, overrun, breaks
  } cases[] = {
      {0, {0, 0, 0, 0}},
      {CE_FRAME, {1, 0, 0, 0}},
      {CE_RXPARITY, {0, 1, 0, 0}},
      {CE_FRAME | CE_RXPARITY, {1, 1, 0, 0}},
      {CE_OVERRUN, {0, 0, 1, 0}},
      {CE_RXOVER, {0, 0, 1, 0}},
      {CE_OVERRUN | CE_RXOVER, {0, 0, 1, 0}},
      {CE_BREAK, {0, 0, 0, 1}},
      {CE_BREAK | CE_FRAME | CE_RXPARITY, {0, 0, 0, 1}},
      {CE_BREAK | CE_OVERRUN, {0, 0, 1, 1}},
      {CE_TXFULL | CE_FRAME, {1, 0, 0, 0}},  // the sending side's flags are no line errors
  };
  for (const auto& c : cases) {
    const LineErrorCounts counts = CountCommErrors(c.flags);
    EXPECT_EQ(counts.framing, c.expected.framing) << c.flags;
    EXPECT_EQ(counts.parity, c.expected.parity) << c.flags;
    EXPECT_EQ(counts.overrun, c.expected.overrun) << c.flags;
    EXPECT_EQ(counts.breaks, c.expected.breaks) << c.flags;
  }
}

TEST(CommErrors, ReportsAddUp) {
  LineErrorCounts total;
  for (const DWORD flags : {DWORD{CE_FRAME}, DWORD{CE_FRAME | CE_OVERRUN}, DWORD{CE_BREAK}}) {
    total += CountCommErrors(flags);
  }
  EXPECT_EQ(Describe(total), "2 framing, 0 parity, 1 overrun, 1 break(s)");
}

}  // namespace
}  // namespace tarvex::win32
