// Two pseudo-terminals linked by socat stand in for two adapters wired to each other: loopcheck
// between them, and a download played through one into `simulate --port` on the other.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/sim/download_script.h"
#include "tests/sim/simulator_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

constexpr double SCALE = 0.01;

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

// socat's two pseudo-terminals as links `a` and `b` in a temp folder. Each is also held open here,
// so that neither is ever without an opener while the sender closes and re-opens its port at a
// change of settings: some socat versions give up a pseudo-terminal whose last opener closed it.
class SocatPair {
 public:
  SocatPair() : a_(dir_.File("a").string()), b_(dir_.File("b").string()) {
    pid_ = fork();
    if (pid_ == 0) {
      std::freopen("/dev/null", "w", stderr);
      const std::string left = "pty,raw,echo=0,link=" + a_;
      const std::string right = "pty,raw,echo=0,link=" + b_;
      execlp("socat", "socat", left.c_str(), right.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (test::WaitUntil([&] { return std::filesystem::exists(a_) && std::filesystem::exists(b_); },
                        5000ms)) {
      heldA_ = open(a_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      heldB_ = open(b_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
  }
  ~SocatPair() {
    for (const int fd : {heldA_, heldB_}) {
      if (fd >= 0) {
        close(fd);
      }
    }
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  SocatPair(const SocatPair&) = delete;
  SocatPair& operator=(const SocatPair&) = delete;

  bool Ok() const { return heldA_ >= 0 && heldB_ >= 0; }
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }

 private:
  test::TempDir dir_;
  std::string a_;
  std::string b_;
  pid_t pid_ = -1;
  int heldA_ = -1;
  int heldB_ = -1;
};

class LoopbackTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("socat")) {
      GTEST_SKIP() << "socat is not installed";
    }
    ASSERT_TRUE(pair_.Ok());
  }
  SocatPair pair_;
};

TEST_F(LoopbackTest, LoopcheckJudgesEverySettingAndRefusesOnePortTwice) {
  test::Simulator same({"loopcheck", "--port", pair_.a(), "--via", pair_.a()});
  std::string nothing;
  EXPECT_EQ(same.Finish(nothing), 2);

  test::Simulator loopcheck(
      {"loopcheck", "--time-scale", "0.05", "--port", pair_.a(), "--via", pair_.b()});
  std::string out;
  ASSERT_EQ(loopcheck.Finish(out), 0) << out;
  for (const char* setting : {"100000 8E1", "250000 8N2", "115200 8O1"}) {
    EXPECT_NE(out.find(std::string(setting) + ": OK, "), std::string::npos) << out;
  }
  EXPECT_NE(out.find("not measurable on a pseudo-terminal"), std::string::npos) << out;
}

TEST_F(LoopbackTest, SimulateOnAPortFollowsAWakeDownload) {
  test::Simulator simulator(
      {"simulate", "--port", pair_.b(), "--time-scale", std::to_string(SCALE), "--timeout", "30"});
  ASSERT_EQ(simulator.Port(), pair_.b());
  EXPECT_EQ(simulator.Line(),
            "This port is a pseudo-terminal: speed, parity and stop bits are not checked.");
  const test::ImagePlan plan(test::Model("7K SPOT"),
                             {{0x00012340, test::PseudoRandomBytes(1500, 4)}});
  test::PlayScript(pair_.a(), test::DownloadScript(plan, true), SCALE);

  std::string rest;
  EXPECT_EQ(simulator.Finish(rest), 0) << rest;
  EXPECT_NE(rest.find("Wake-up:        yes\n"), std::string::npos) << rest;
  EXPECT_NE(rest.find("Verdict: received intact\n"), std::string::npos) << rest;
}

}  // namespace
}  // namespace tarvex
