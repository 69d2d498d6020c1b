#include "platform/manual_event.h"

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace tarvex {
namespace {

using std::chrono::milliseconds;

TEST(ManualEvent, StaysSetAndReleasesEveryWaiterUntilReset) {
  ManualEvent event(false);
  EXPECT_FALSE(event.WaitFor(milliseconds{20}));
  auto first = std::async(std::launch::async, [&] { return event.WaitFor(milliseconds{5000}); });
  auto second = std::async(std::launch::async, [&] { event.Wait(); });
  event.Set();
  EXPECT_TRUE(first.get());
  EXPECT_EQ(second.wait_for(milliseconds{2000}), std::future_status::ready);
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.WaitFor(milliseconds{0}));
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(milliseconds{0}));
}

TEST(ManualEvent, AnEndlessTimeOutDoesNotOverflow) {
  ManualEvent event(false);
  auto setter = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(milliseconds{50});
    event.Set();
  });
  EXPECT_TRUE(event.WaitFor(std::chrono::nanoseconds::max()));
}

TEST(ManualEvent, ATimedOutWaitNeverEndsBeforeItsDeadline) {
  ManualEvent event(false);
  for (const auto wait : {std::chrono::microseconds{1}, std::chrono::microseconds{300},
                          std::chrono::microseconds{2500}, std::chrono::microseconds{20000}}) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    EXPECT_FALSE(event.WaitUntil(deadline));
    EXPECT_GE(std::chrono::steady_clock::now(), deadline);
  }
  EXPECT_FALSE(event.WaitUntil(std::chrono::steady_clock::time_point{}));  // long past
  event.Set();
  EXPECT_TRUE(event.WaitUntil(std::chrono::steady_clock::time_point::max()));
}

}  // namespace
}  // namespace tarvex
