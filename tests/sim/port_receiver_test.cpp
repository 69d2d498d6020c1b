// The fixture as a real port's receiver sees a download: the receiver is set to what the fixture
// expects next, so the break byte, sent slower, comes as a marked zero, and a byte spoilt on the
// wire comes marked inside its frame.
#include <gtest/gtest.h>

#include "sim/virtual_fixture.h"
#include "tests/sim/download_script.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

// Each frame at the settings the receiver was at when it came; `marks` per frame.
FixtureVerdict FeedAsReceived(const test::Script& script,
                              const std::vector<std::vector<std::size_t>>& marks,
                              std::vector<LineSettings>& receiverSettings) {
  VirtualFixture fixture;
  auto now = FixtureClock::time_point{} + 1h;
  for (std::size_t i = 0; i < script.size(); ++i) {
    now += script[i].gap;
    receiverSettings.push_back(fixture.NextSettings());
    fixture.Feed(script[i].bytes, now, receiverSettings.back(), marks[i]);
  }
  return fixture.Verdict();
}

TEST(PortReceiverTest, FollowsTheSequenceAndCountsMarkedBytesPerFrame) {
  const test::Script script = test::DownloadScript(test::SimpleImagePlan(), true);
  const std::size_t block = test::IndexOf(script, "BlockFrame", 1);
  std::vector<std::vector<std::size_t>> marks(script.size());
  marks[0] = {0};  // the break byte, held low past a 115200 receiver's stop bit

  std::vector<LineSettings> clean;
  const FixtureVerdict intact = FeedAsReceived(script, marks, clean);
  EXPECT_TRUE(intact.Intact()) << (intact.faults.empty() ? "" : intact.faults.front().text);
  EXPECT_TRUE(intact.wakeSeen);
  // The break is awaited at the download's settings, the wake frame at its own, the rest back.
  EXPECT_EQ(clean[0], test::SETTINGS_8O1);
  EXPECT_EQ(clean[1], test::SETTINGS_8N2);
  EXPECT_EQ(clean[2], test::SETTINGS_8O1);
  EXPECT_EQ(clean.back(), test::SETTINGS_8O1);

  // Two marked bytes in one block, a marked zero inside it too: all three counted there, and
  // that block alone is named.
  marks[block] = {9, 40, 41};
  test::Script spoilt = script;
  spoilt[block].bytes[41] = 0;
  std::vector<LineSettings> ignored;
  const FixtureVerdict faulty = FeedAsReceived(spoilt, marks, ignored);
  std::vector<std::string> lineErrors;
  for (const FixtureFault& fault : faulty.faults) {
    if (fault.kind == FaultKind::LineErrors) {
      lineErrors.push_back(fault.text);
    }
  }
  EXPECT_EQ(lineErrors,
            std::vector<std::string>{"BlockFrame: 3 byte(s) came with a framing or parity error"});
  EXPECT_FALSE(faulty.Intact());
}

}  // namespace
}  // namespace tarvex
