// The pace of a download rests on short waits ending on time; the system's default timer grain
// (about 15.6 ms) would make every step late.
#include <algorithm>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_event.h"

namespace tarvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(PreciseWait, ShortWaitsAreNeverEarlyAndRarelyLate) {
  constexpr milliseconds WAIT{3};
  ManualEvent event(false);
  std::vector<microseconds> took;
  for (int i = 0; i < 21; ++i) {
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(event.WaitFor(WAIT));
    took.push_back(std::chrono::duration_cast<microseconds>(Clock::now() - start));
  }
  std::sort(took.begin(), took.end());
  EXPECT_GE(took.front(), WAIT);
  // Wide margin for a loaded machine; the coarse grain would put the median near 15.6 ms.
  EXPECT_LT(took[took.size() / 2], milliseconds{10});
}

}  // namespace
}  // namespace tarvex
