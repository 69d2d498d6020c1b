// Every way a job ends, over a pseudo-terminal with the real backend: once it has ended the
// process holds no descriptor and no thread more than before it started, and the port can be
// opened and locked again at once.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "engine/download_job.h"
#include "link/port_backend.h"
#include "platform/manual_event.h"
#include "protocol/texts.h"
#include "sim/pty_line.h"
#include "tests/support/image_builder.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"
#include "tests/support/threads_in_poll.h"
#include "tests/support/wait_until.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::ViewCall;

constexpr double FAST = 0.001;
constexpr milliseconds WAIT_LIMIT{20000};
constexpr milliseconds SETTLE_LIMIT{5000};
// Long enough for a write whose output is suspended to be waiting for the line.
const std::string DOWNLOADING_ONE_OF_ONE = std::string(TEXT_DOWNLOADING) + "1/1";

// The process's descriptors, each with what it refers to, and its thread count.
struct Holdings {
  std::multiset<std::string> fds;
  std::size_t threads = 0;
  bool operator==(const Holdings&) const = default;
};

// A descriptor's number and what it refers to; a device or file removed since keeps its name.
std::string DescriptorOf(const fs::path& entry) {
  constexpr std::string_view REMOVED = " (deleted)";
  std::error_code error;
  std::string target = fs::read_symlink(entry, error).string();
  if (target.ends_with(REMOVED)) {
    target.resize(target.size() - REMOVED.size());
  }
  return entry.filename().string() + " -> " + (error ? "?" : target);
}

Holdings Take() {
  // The listing's own descriptor is left out.
  const std::string listing = "/proc/" + fs::read_symlink("/proc/self").string() + "/fd";
  Holdings now;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
    const std::string fd = DescriptorOf(entry.path());
    if (!fd.ends_with("-> " + listing)) {
      now.fds.insert(fd);
    }
  }
  for ([[maybe_unused]] const fs::directory_entry& task :
       fs::directory_iterator("/proc/self/task")) {
    ++now.threads;
  }
  return now;
}

std::string Describe(const Holdings& holdings) {
  std::string text = std::to_string(holdings.threads) + " threads;";
  for (const std::string& fd : holdings.fds) {
    text += " [" + fd + "]";
  }
  return text;
}

// One job on one pseudo-terminal, for one way of ending.
struct EndPath {
  explicit EndPath(bool wake) {
    test::ImagePlan plan;
    plan.model = test::Model(wake ? "E2 FIXTURE" : "TEST MODEL");
    plan.segments = {{0x1000, test::PseudoRandomBytes(100, 1)}};
    test::WriteImage(dir.File("image.zfr"), plan);
    const ImageLoad load = LoadImage(dir.File("image.zfr").string());
    EXPECT_TRUE(load.ok()) << load.rejection.message;
    JobOptions options;
    options.timeScale = FAST;
    job = std::make_unique<DownloadJob>(view, MakeNativePortBackend(), options);
    if (load.ok()) {
      job->SetImage(*load.image);
    }
  }

  // Runs `action` on the worker the first time the view is handed `call`, then lets the test
  // thread go on (WaitReached).
  void At(const ViewCall& call, std::function<void()> action) {
    view.SetHook([this, call, action = std::move(action)](const ViewCall& made) {
      if (made == call && !reached.IsSet()) {
        action();
        reached.Set();
      }
    });
  }
  bool WaitReached() { return reached.WaitFor(WAIT_LIMIT); }

  // Until the job has ended and its worker is joined.
  bool WaitForEnd() {
    const bool ended =
        test::WaitUntil([this] { return !job->IsRunning() && !job->IsBusy(); }, WAIT_LIMIT);
    job->WaitForWorker();
    return ended;
  }

  test::TempDir dir;
  PtyLine line;
  std::string port = line.SlavePath();
  test::RecordingView view;
  ManualEvent reached{false};
  ManualEvent release{false};
  std::unique_ptr<DownloadJob> job;
};

void Complete(EndPath& p) {
  p.job->Start(p.port);
}

// The window's Cancel (its question answered OK) while the worker is held in a status call
// between two steps.
void CancelAnsweredOk(EndPath& p) {
  p.At(ViewCall::Status(TEXT_START), [&p] {
    p.reached.Set();
    p.release.Wait();
  });
  p.job->Start(p.port);
  ASSERT_TRUE(p.WaitReached());
  p.job->Cancel();
  p.release.Set();
}

// The worker suspends the line's output just before its first block, so that block's write
// waits for the line.
void StartStuckInAWrite(EndPath& p) {
  p.At(ViewCall::Status(DOWNLOADING_ONE_OF_ONE), [&p] { p.line.SuspendOutput(); });
  p.job->Start(p.port);
  ASSERT_TRUE(p.WaitReached());
  // Stuck once the writer sleeps in its poll beside the receive watcher.
  ASSERT_TRUE(test::WaitUntil([] { return test::ThreadsInPoll() >= 2; }, milliseconds{10000}));
}

// Ctrl-C, SIGTERM and closing the window all take the cancel path without the question.
void StopDuringAWrite(EndPath& p) {
  StartStuckInAWrite(p);
  p.job->Cancel();
}

void LineVanishesDuringAWrite(EndPath& p) {
  StartStuckInAWrite(p);
  p.line.Hangup();
}

void DestroyedDuringAWrite(EndPath& p) {
  StartStuckInAWrite(p);
  p.job.reset();
}

void OpenFails(EndPath& p) {
  p.job->Start(p.dir.File("no-such-port").string());
}

// The port is opened through a link that goes away after the wake-up's first step, as an
// adapter that is pulled out between two steps.
void ReopenFails(EndPath& p) {
  const fs::path link = p.dir.File("port");
  fs::create_symlink(p.line.SlavePath(), link);
  p.At(ViewCall::Status(TEXT_WAKE_BREAK), [link] { fs::remove(link); });
  p.job->Start(link.string());
}

void TestCode(EndPath& p) {
  p.job->StartTest(p.port);
}

struct EndCase {
  std::string name;
  bool wake;
  std::function<void(EndPath&)> drive;
  JobOutcome outcome;       // None: the job is gone at the end
  bool lineHungUp = false;  // the pseudo-terminal's master was closed by the case itself
};

// A failing row is named, not dumped as bytes.
void PrintTo(const EndCase& row, std::ostream* out) {
  *out << row.name;
}

class JobEndPaths : public testing::TestWithParam<EndCase> {};

// The line's master descriptor, which a case that hangs the line up closes itself.
void ForgetMaster(Holdings& holdings) {
  const auto master = std::find_if(holdings.fds.begin(), holdings.fds.end(),
                                   [](const std::string& fd) { return fd.ends_with("/dev/ptmx"); });
  ASSERT_NE(master, holdings.fds.end());
  holdings.fds.erase(master);
}

TEST_P(JobEndPaths, LeaveNoDescriptorThreadOrLockBehind) {
  const EndCase& c = GetParam();
  // A sanitizer's runtime starts a thread of its own at the process's first thread and keeps it;
  // one thread started and joined first keeps that out of the count.
  std::thread([] {}).join();
  const Holdings before = Take();
  {
    EndPath p(c.wake);
    ASSERT_TRUE(p.line.Ok());
    Holdings ready = Take();
    c.drive(p);
    if (p.job) {
      ASSERT_TRUE(p.WaitForEnd());
      EXPECT_EQ(p.job->Outcome(), c.outcome);
    }
    if (c.lineHungUp) {
      ForgetMaster(ready);
    }
    EXPECT_TRUE(test::WaitUntil([&ready] { return Take() == ready; }, SETTLE_LIMIT))
        << "before: " << Describe(ready) << "\nafter:  " << Describe(Take());
    if (!c.lineHungUp) {
      auto probe = MakeNativePortBackend();
      EXPECT_TRUE(probe->Open(p.line.SlavePath(), MakeLineSettings(115200, PARITY_CODE_ODD)))
          << probe->LastError().Message();
      probe->Close();
    }
  }
  EXPECT_TRUE(test::WaitUntil([&before] { return Take() == before; }, SETTLE_LIMIT))
      << "before: " << Describe(before) << "\nafter:  " << Describe(Take());
}

INSTANTIATE_TEST_SUITE_P(
    Table, JobEndPaths,
    testing::Values(EndCase{"Complete", false, Complete, JobOutcome::Completed},
                    EndCase{"CompleteWithWakeUp", true, Complete, JobOutcome::Completed},
                    EndCase{"CancelAnsweredOk", false, CancelAnsweredOk, JobOutcome::Cancelled},
                    EndCase{"StopDuringAWrite", false, StopDuringAWrite, JobOutcome::Cancelled},
                    EndCase{"LineVanishesDuringAWrite", false, LineVanishesDuringAWrite,
                            JobOutcome::WriteFailed, true},
                    EndCase{"DestroyedDuringAWrite", false, DestroyedDuringAWrite,
                            JobOutcome::None},
                    EndCase{"OpenFails", false, OpenFails, JobOutcome::OpenFailed},
                    EndCase{"ReopenFails", true, ReopenFails, JobOutcome::OpenFailed},
                    EndCase{"TestCode", false, TestCode, JobOutcome::TestSent}),
    [](const testing::TestParamInfo<EndCase>& row) { return row.param.name; });

}  // namespace
}  // namespace tarvex
