// tarvex-cli simulate, run as its own process: it names its pseudo-terminal, judges the download
// played into it, writes the memory received and exits with the verdict's status.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sim/download_script.h"
#include "tests/sim/simulator_process.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using test::Simulator;

constexpr double SCALE = 0.01;

TEST(SimulateCommandTest, ReportsAnIntactDownloadAndWritesItsMemory) {
  test::TempDir dir;
  const std::string hexPath = dir.File("received.hex").string();
  Simulator simulator(
      {"simulate", "--time-scale", std::to_string(SCALE), "--timeout", "30", "--out", hexPath});
  const std::string port = simulator.Port();
  ASSERT_FALSE(port.empty());
  const test::ImagePlan plan(test::Model("TEST MODEL"), {{0x00012340, {1, 2, 3}}});
  test::PlayScript(port, test::DownloadScript(plan, false), SCALE);

  std::string rest;
  EXPECT_EQ(simulator.Finish(rest), 0) << rest;
  EXPECT_NE(rest.find("Model:          TEST MODEL\n"), std::string::npos) << rest;
  EXPECT_NE(rest.find("Verdict: received intact\n"), std::string::npos) << rest;
  std::ifstream hex(hexPath);
  std::stringstream hexText;
  hexText << hex.rdbuf();
  EXPECT_EQ(hexText.str(), ":020000040001F9\n:0323400001020394\n:00000001FF\n");
}

TEST(SimulateCommandTest, FaultsGiveStatusOne) {
  Simulator simulator({"simulate", "--time-scale", std::to_string(SCALE), "--timeout", "30"});
  const std::string port = simulator.Port();
  ASSERT_FALSE(port.empty());
  test::Script script = test::DownloadScript(test::SimpleImagePlan(), false);
  script[test::IndexOf(script, "BlockFrame")].bytes[9] ^= 0x01;
  test::PlayScript(port, script, SCALE);

  std::string rest;
  EXPECT_EQ(simulator.Finish(rest), 1) << rest;
  EXPECT_NE(rest.find("BlockFrame at 0x00010000: CRC-16 is"), std::string::npos) << rest;
  EXPECT_NE(rest.find("Verdict: 1 fault(s)\n"), std::string::npos) << rest;
}

// A test code alone is a whole exchange; a download cut short and begun anew is judged by the new
// one. Each script is played on a port of its own opening, as a sender does after a cancel.
TEST(SimulateCommandTest, ATestCodeAloneOrADownloadBegunAnewEndsWithStatusZero) {
  test::Script cut = test::DownloadScript(test::SimpleImagePlan(), false);
  cut.resize(test::IndexOf(cut, "BlockFrame") + 1);
  const struct {
    std::string name;
    std::vector<test::Script> plays;
    std::vector<std::string> lines;
  } cases[] = {
      {"TestCode",
       {{test::Make(TestCode(), 0ms)}},
       {"Test codes:     1\n", "Verdict: test code received\n"}},
      {"BegunAnew",
       {cut, test::DownloadScript(test::SimpleImagePlan(), true)},
       {"Interrupted download 1 of 1 (partial):\n", "  Blocks:         1\n",
        "interrupted after its BlockFrame: a new download began\n", "Wake-up:        yes\n",
        "Verdict: received intact\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator simulator({"simulate", "--time-scale", std::to_string(SCALE), "--timeout", "30"});
    const std::string port = simulator.Port();
    ASSERT_FALSE(port.empty());
    for (const test::Script& script : c.plays) {
      test::PlayScript(port, script, SCALE);
    }
    std::string rest;
    EXPECT_EQ(simulator.Finish(rest), 0) << rest;
    for (const std::string& line : c.lines) {
      EXPECT_NE(rest.find(line), std::string::npos) << line << " in:\n" << rest;
    }
  }
}

TEST(SimulateCommandTest, InterruptEndsItWithStatus130) {
  for (const int signal : {SIGINT, SIGTERM}) {
    Simulator simulator({"simulate"});
    ASSERT_FALSE(simulator.Port().empty());
    kill(simulator.pid(), signal);
    std::string rest;
    EXPECT_EQ(simulator.Finish(rest), 130) << rest;
  }
}

}  // namespace
}  // namespace tarvex
