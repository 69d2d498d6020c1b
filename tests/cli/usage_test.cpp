// What a user gets back for help, version and wrong values: exit statuses and the words that
// point to the fix.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/run_cli.h"

namespace tarvex::cli {
namespace {

struct UsageCase {
  std::vector<std::string> args;
  int status;
  const char* out;     // part of standard output, or null
  const char* err;     // part of standard error, or null
  const char* absent;  // in neither, or null
};

TEST(Usage, HelpVersionAndBadValuesSayWhatToDo) {
  const UsageCase cases[] = {
      {{"-V"}, 0, "tarvex-cli 1.0.0.3", nullptr, nullptr},
      {{"help"}, 0, "download", nullptr, nullptr},
      {{"help", "download"}, 0, "Exit status: 0 when every port completed", nullptr, nullptr},
      {{"test", "--help"}, 0, "Exit status: 0 when the test code went out", nullptr, nullptr},
      {{"help", "help"}, 0, "The command to explain", nullptr, nullptr},
      // A value is shown by what it stands for, not by the parser's type names.
      {{"help", "download"}, 0, "-p,--port PORT ... REQUIRED", nullptr, "TEXT"},
      {{"help", "simulate"}, 0, "--timeout S ", nullptr, "S:S"},
      {{"help", "loopcheck"}, 0, "--via PORT REQUIRED", nullptr, ":PORT"},
      {{"help", "pack"}, 0, "at most 16 ASCII characters", nullptr, "TEXT"},
      {{"help", "flash"}, 2, nullptr, "unknown command \"flash\"", nullptr},
      {{"flash"}, 2, nullptr, "unknown command \"flash\"", "subcommand is required"},
      {{"simulate", "--timeout", "abc"},
       2,
       nullptr,
       "must be a positive number of seconds",
       nullptr},
      {{"simulate", "--timeout", "0"}, 2, nullptr, "must be a positive number of seconds", nullptr},
      {{"download", "--time-scale", "2", "-p", "x", "a.zfr"},
       2,
       nullptr,
       "--time-scale: must be from 0 to 1, not 2",
       nullptr},
      {{"loopcheck", "--time-scale", "-1", "-p", "x", "--via", "y"},
       2,
       nullptr,
       "--time-scale: must be from 0 to 1",
       nullptr},
      {{"download", "--port", "COM1"}, 2, nullptr, "Run 'tarvex-cli download --help'", nullptr},
      {{"download", "--port", "", "x.zfr"}, 2, nullptr, "must name a port", nullptr},
  };
  for (const UsageCase& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCli(c.args, out, err);
    const std::string shown = c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : "");
    EXPECT_EQ(status, c.status) << shown << "\n" << err.str();
    if (c.out != nullptr) {
      EXPECT_NE(out.str().find(c.out), std::string::npos) << shown << "\n" << out.str();
    }
    if (c.err != nullptr) {
      EXPECT_NE(err.str().find(c.err), std::string::npos) << shown << "\n" << err.str();
    }
    if (c.absent != nullptr) {
      EXPECT_EQ((out.str() + err.str()).find(c.absent), std::string::npos)
          << shown << "\n"
          << out.str() << err.str();
    }
    // A range of 300 digits is no help to anyone.
    EXPECT_EQ(err.str().find("179769"), std::string::npos) << shown;
  }
}

}  // namespace
}  // namespace tarvex::cli
