// tarvex-cli simulate, run as its own process: it names its pseudo-terminal, judges the download
// played into it, writes the memory received and exits with the verdict's status.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sim/download_script.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

constexpr double SCALE = 0.01;

// tarvex-cli with its standard output on a pipe and its errors thrown away.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> args) {
    int pipeFds[2] = {-1, -1};
    if (pipe(pipeFds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      std::freopen("/dev/null", "w", stderr);
      close(pipeFds[0]);
      close(pipeFds[1]);
      std::vector<char*> argv{const_cast<char*>(TARVEX_CLI_PATH)};
      for (std::string& arg : args) {
        argv.push_back(arg.data());
      }
      argv.push_back(nullptr);
      execv(TARVEX_CLI_PATH, argv.data());
      _exit(127);
    }
    close(pipeFds[1]);
    out_ = fdopen(pipeFds[0], "r");
  }

  ~Simulator() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) {
      std::fclose(out_);
    }
  }

  // The pseudo-terminal's path, from the first line: "Simulated fixture listening on PATH".
  std::string Port() {
    const std::string first = Line();
    const std::string prefix = "Simulated fixture listening on ";
    return first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : std::string{};
  }

  // Everything it printed after the lines read so far, and its exit status.
  int Finish(std::string& rest) {
    for (std::string line = Line(); !line.empty() || !std::feof(out_); line = Line()) {
      rest += line + "\n";
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  pid_t pid() const { return pid_; }

 private:
  std::string Line() {
    std::string line;
    for (int c = std::fgetc(out_); c != EOF && c != '\n'; c = std::fgetc(out_)) {
      line += static_cast<char>(c);
    }
    return line;
  }

  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  int status_ = -1;
};

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
