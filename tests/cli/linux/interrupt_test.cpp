// Signals during a download: Ctrl-C, SIGTERM and a hang-up stop it at once, close the port, and
// still write the summary and the report; a reader of the output that goes away does not stop it.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_line.h"
#include "tests/support/temp_dir.h"

namespace tarvex::cli {
namespace {

// Starts tarvex-cli with `args`, its standard output on `out` (thrown away when -1), the signal
// `ignored` ignored as nohup or a script's `&` start a program; returns its pid.
pid_t Spawn(const std::vector<std::string>& args, int out = -1, int ignored = 0) {
  std::vector<char*> argv{const_cast<char*>(TARVEX_CLI_PATH)};
  for (const auto& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(out >= 0 ? out : null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (ignored != 0) {
      signal(ignored, SIG_IGN);
    }
    execv(TARVEX_CLI_PATH, argv.data());
    _exit(127);
  }
  return pid;
}

// The exit status (128 + the signal for one that killed it), or -1 when the process has not
// ended within `timeout`. What arrives on `line` meanwhile is read and thrown away.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout, PtyLine* line = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (line != nullptr) {
      line->Drain();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The announce frame shows that the download is under way.
bool AnnounceCame(PtyLine& line) {
  return line.ReadFor(1 + 513 + 21, std::chrono::seconds(10)).size() == 1u + 513 + 21;
}

bool PortIsFree(const PtyLine& line) {
  const int fd = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

struct SignalCase {
  const char* name;
  int signal;           // 0: the reader of standard output goes away after the first line instead
  bool ignoredAtStart;  // by the parent
  int status;
  const char* outcome;  // of the summary and the report record
};

void PrintTo(const SignalCase& c, std::ostream* out) {
  *out << c.name;
}

class Signals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signals, EndTheRunWithItsSummaryAndReportRecord) {
  const SignalCase& c = GetParam();
  test::TempDir dir;
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  int pipeEnds[2] = {-1, -1};
  ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
  const auto outPath = dir.File("out.txt");
  const int out = c.signal == 0
                      ? pipeEnds[1]
                      : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const auto report = dir.File("report.jsonl").string();
  const pid_t pid = Spawn({"download", "--time-scale", "0.02", "--report", report, "--port",
                           line.SlavePath(), TARVEX_SAMPLE_IMAGE},
                          out, c.ignoredAtStart ? c.signal : 0);
  close(out);
  close(pipeEnds[1]);
  ASSERT_TRUE(AnnounceCame(line));

  if (c.signal == 0) {
    for (char ch = 0; read(pipeEnds[0], &ch, 1) == 1 && ch != '\n';) {
    }
  } else {
    kill(pid, c.signal);
  }
  close(pipeEnds[0]);
  EXPECT_EQ(WaitExit(pid, std::chrono::seconds(30), &line), c.status);
  EXPECT_TRUE(PortIsFree(line));

  std::istringstream records(ReadAll(report));
  std::string record;
  ASSERT_TRUE(std::getline(records, record));
  EXPECT_EQ(nlohmann::json::parse(record)["outcome"], c.outcome) << record;
  EXPECT_FALSE(std::getline(records, record)) << "a second record: " << record;
  if (c.signal != 0) {
    const std::string summary = line.SlavePath() + ": " + c.outcome + ", ";
    EXPECT_NE(ReadAll(outPath).find(summary), std::string::npos) << ReadAll(outPath);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Signals,
                         ::testing::Values(SignalCase{"Int", SIGINT, false, 130, "STOPPED"},
                                           SignalCase{"Term", SIGTERM, false, 130, "STOPPED"},
                                           SignalCase{"Hup", SIGHUP, false, 129, "STOPPED"},
                                           SignalCase{"HupUnderNohup", SIGHUP, true, 0, "OK"},
                                           SignalCase{"IntInABackgroundJob", SIGINT, true, 0, "OK"},
                                           SignalCase{"StdoutClosed", 0, false, 0, "OK"}),
                         [](const auto& param) { return std::string(param.param.name); });

// At the real pace, with 10 s to the next frame: the program stops at once and nothing more goes
// out.
TEST(Interrupt, StopsTheDownloadAtOnce) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const pid_t pid = Spawn({"download", "--port", line.SlavePath(), TARVEX_SAMPLE_IMAGE});
  ASSERT_TRUE(AnnounceCame(line));
  const auto sent = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid, std::chrono::seconds(5)), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
  std::uint8_t byte = 0;
  EXPECT_EQ(line.Read(&byte, 1, std::chrono::milliseconds(300)), 0);
}

TEST(StalledLineInterrupt, CtrlCDoesNotWaitForAStuckWriteToTimeOut) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const pid_t pid =
      Spawn({"download", "--time-scale", "0.01", "--port", line.SlavePath(), TARVEX_SAMPLE_IMAGE});
  const auto announce = line.ReadFor(1 + 513 + 21, std::chrono::seconds(10));
  ASSERT_EQ(announce.size(), 1u + 513 + 21);
  // The line stops taking bytes: the blank frame's write, due 100 ms later, hangs until its
  // time-out of 2000 + 50 x 100 ms.
  ASSERT_TRUE(line.SuspendOutput());
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));

  const auto sent = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid, std::chrono::seconds(15)), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
}

}  // namespace
}  // namespace tarvex::cli

namespace tarvex::cli {
namespace {

TEST(DemoInterrupt, CtrlCStopsTheDownloadAndTheSimulatedFixture) {
  const pid_t pid = Spawn({"demo"});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // into the 10 s before the blank
  kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid, std::chrono::seconds(5)), 130);
}

}  // namespace
}  // namespace tarvex::cli
