// loopcheck when nothing drains the sending port's far end: it must end within the time its
// runs take on the line, not at the link's write time-out of 50 ms a byte.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "cli/run_cli.h"
#include "sim/pty_line.h"

namespace tarvex::cli {
namespace {

TEST(LoopcheckRun, EndsInTimeWhenNothingReadsTheFarEnd) {
  PtyLine unread;  // its fixture side is never read, so the sender's writes stall
  PtyLine via;
  ASSERT_TRUE(unread.Ok() && via.Ok());
  std::ostringstream out;
  std::ostringstream err;
  const auto start = std::chrono::steady_clock::now();
  // Half-length runs: 22727 bytes at 250000 8N2, more than a pseudo-terminal buffers.
  const int status = RunCli(
      {"loopcheck", "--time-scale", "0.5", "--port", unread.SlavePath(), "--via", via.SlavePath()},
      out, err);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(status, 1) << err.str();
  EXPECT_NE(out.str().find("250000 8N2: FAILED, " + unread.SlavePath() + " took only "),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("nothing reads its far end"), std::string::npos) << out.str();
  // Each setting: at most twice the run's 1 s on the line, 2 s more, and the trailing quiet.
  EXPECT_LT(took, std::chrono::seconds(20)) << out.str();
}

}  // namespace
}  // namespace tarvex::cli
