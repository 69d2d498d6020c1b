// Without a port, simulate and demo need a pseudo-terminal, which Windows does not have: they say
// in one line what to use instead, and the help says so before anyone tries.
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
      {{"simulate"}, "give --port COMn"},
      {{"simulate", "--out", "memory.hex", "--timeout", "5"}, "give --port COMn"},
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

// Every line of the command list and of each command's help, as Windows words it.
TEST(PtyCommandsOnWindows, HelpMarksWhatCannotRunAndNamesNoPosixThings) {
  std::ostringstream list;
  std::ostringstream err;
  ASSERT_EQ(RunCli({"--help"}, list, err), 0);
  EXPECT_NE(list.str().find("simulate"), std::string::npos) << list.str();
  EXPECT_NE(list.str().find("(Linux only: needs a pseudo-terminal)"), std::string::npos)
      << list.str();
  EXPECT_NE(list.str().find("--port, required on Windows"), std::string::npos) << list.str();
  EXPECT_NE(list.str().find("List the serial ports present"), std::string::npos) << list.str();
  std::string all = list.str();
  for (const char* command : {"ports", "simulate", "download", "test", "demo", "loopcheck"}) {
    std::ostringstream out;
    ASSERT_EQ(RunCli({command, "--help"}, out, err), 0) << command;
    all += out.str();
  }
  for (const char* posix : {"/dev", "SIGTERM", "SIGHUP", "share/"}) {
    EXPECT_EQ(all.find(posix), std::string::npos) << posix << " in:\n" << all;
  }
}

}  // namespace
}  // namespace tarvex::cli
