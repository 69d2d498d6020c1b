#include "sim/fixture_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/sim/download_script.h"
#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Script;

TEST(FixtureReportTest, IntelHexKeepsAddressesAndNeverCrossesA64KiBWindow) {
  FixtureMemory memory;
  Bytes bytes(18);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  memory.Write(0x0001FFF8, bytes);  // 8 bytes below 0x20000, 10 above
  memory.Write(0x00020100, Bytes{0xAB});
  std::ostringstream out;
  ASSERT_TRUE(WriteIntelHex(memory, out));
  EXPECT_EQ(out.str(),
            ":020000040001F9\n"
            ":08FFF8000001020304050607E5\n"
            ":020000040002F8\n"
            ":0A00000008090A0B0C0D0E0F101179\n"
            ":01010000AB53\n"
            ":00000001FF\n");
}

// The live line and the report's last line, as an exchange goes on.
TEST(FixtureReportTest, ProgressAndVerdictFollowTheExchange) {
  Script cut = test::DownloadScript(test::SimpleImagePlan(), false);
  cut.resize(2);  // the announce and the blank frame
  Script cutThenTest = cut;
  cutThenTest.push_back(test::Make(TestCode(), 2s));
  const struct {
    std::string name;
    Script script;
    std::string progress;
    std::string report;  // its end
  } cases[] = {
      {"Nothing", {}, "Listening: nothing received yet", "Verdict: 1 fault(s)\n"},
      {"TestCode",
       {test::Make(TestCode(), 0ms)},
       "Test code: 1 frame(s), 16 bytes",
       "Test codes:     1\nVerdict: test code received\n"},
      {"CutShort", cut, "Downloading: 2 frame(s), 121 bytes, last BlankFrame",
       "Verdict: 1 fault(s)\n"},
      {"CutThenTestCode", cutThenTest, "Test code: 1 frame(s), 16 bytes (1 interrupted before)",
       "    +12.000 s  interrupted after its BlankFrame: a test code began\n"
       "Test codes:     1\nVerdict: test code received\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualFixture fixture({.gapTolerance = 0us});
    test::FeedScript(fixture, c.script);
    const FixtureVerdict verdict = fixture.Verdict();
    EXPECT_EQ(DescribeProgress(verdict), c.progress);
    const std::string report = DescribeVerdict(verdict);
    EXPECT_TRUE(report.ends_with(c.report)) << report;
  }
}

}  // namespace
}  // namespace tarvex
