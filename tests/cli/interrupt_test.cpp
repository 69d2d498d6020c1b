// Ctrl-C and SIGTERM during a download: the program stops at once, closes the port and exits 130.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim/pty_line.h"

namespace tarvex::cli {
namespace {

// Starts tarvex-cli with `args`, its output thrown away; returns its pid.
pid_t Spawn(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(TARVEX_CLI_PATH)};
    for (const auto& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(TARVEX_CLI_PATH, argv.data());
    _exit(127);
  }
  return pid;
}

// The exit status, or -1 when the process has not ended within `timeout`.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

class Interrupt : public ::testing::TestWithParam<int> {};

TEST_P(Interrupt, StopsTheDownloadAtOnceAndLeavesThePortFree) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const pid_t pid = Spawn({"download", "--port", line.SlavePath(), TARVEX_SAMPLE_IMAGE});
  // The announce frame shows that the download is under way (10 s before the next frame).
  const auto announce = line.ReadFor(1 + 513 + 21, std::chrono::seconds(10));
  ASSERT_EQ(announce.size(), 1u + 513 + 21);

  const auto sent = std::chrono::steady_clock::now();
  kill(pid, GetParam());
  EXPECT_EQ(WaitExit(pid, std::chrono::seconds(5)), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));

  // Nothing more arrives, and the port can be taken exclusively again.
  std::uint8_t byte = 0;
  EXPECT_EQ(line.Read(&byte, 1, std::chrono::milliseconds(300)), 0);
  const int fd = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
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

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& param) { return param.param == SIGINT ? "Int" : "Term"; });

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
