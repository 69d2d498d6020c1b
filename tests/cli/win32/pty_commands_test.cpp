// simulate and demo are listed on Windows too, and say in one line what to use instead.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace tarvex::cli {
namespace {

TEST(PtyCommandsOnWindows, ExitTwoWithOneLineNamingWhatToUseInstead) {
  const struct {
    std::vector<std::string> args;
    const char* instead;
  } cases[] = {
      {{"simulate"}, "run it on Linux, with --port"},
      {{"simulate", "--out", "memory.hex", "--timeout", "5"}, "run it on Linux, with --port"},
      {{"demo"}, "tarvex-cli download --port"},
      {{"demo", "image.zfr"}, "tarvex-cli download --port"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCli(c.args, out, err), 2) << c.args.front();
    const std::string text = err.str();
    EXPECT_EQ(text.rfind("tarvex-cli: " + c.args.front() + " needs a pseudo-terminal", 0), 0u)
        << text;
    EXPECT_NE(text.find(c.instead), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    EXPECT_EQ(out.str(), "");
  }
}

TEST(PtyCommandsOnWindows, HelpStillListsThem) {
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunCli({"--help"}, out, err), 0);
  EXPECT_NE(out.str().find("simulate"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("demo"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace tarvex::cli
