// The job as the dialog and the CLI drive it: start, completion, cancel (answered OK and
// Cancel, racing a step or a re-open), the test path, and the failures that must end a download
// with the controls back to idle. Time runs a thousand times faster.
#include "engine/download_job.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_event.h"
#include "protocol/frames.h"
#include "protocol/texts.h"
#include "tests/support/fake_port_backend.h"
#include "tests/support/image_builder.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::FakePort;
using test::ViewCall;
using test::ViewCalls;

constexpr double FAST = 0.001;
constexpr std::chrono::seconds WAIT_LIMIT{20};

// Holds a worker at one point until the test lets it go.
class Gate {
 public:
  // Blocks the caller the first time only.
  void Pass() {
    if (!armed_.exchange(false)) {
      return;
    }
    reached_.Set();
    release_.Wait();
  }
  bool WaitReached() { return reached_.WaitFor(WAIT_LIMIT); }
  void Release() { release_.Set(); }

 private:
  std::atomic<bool> armed_{true};
  ManualEvent reached_{false};
  ManualEvent release_{false};
};

struct TraceRecord {
  DownloadState state;
  std::string frame;
  std::uint32_t length;
  LineSettings settings;
  std::uint32_t written;
};

class DownloadJobTest : public testing::Test {
 protected:
  void SetUp() override { image_ = Load(path_, {1500, 10, 3000}); }
  // A test that stopped early must not leave the worker held while the job joins it.
  void TearDown() override {
    gate_.Release();
    job_.reset();
  }

  FirmwareImage Load(const std::filesystem::path& path, const std::vector<std::uint32_t>& sizes) {
    test::ImagePlan plan;
    plan.model = test::Model("TEST MODEL");
    std::uint32_t address = 0x10000;
    for (std::uint32_t size : sizes) {
      plan.segments.emplace_back(address, test::PseudoRandomBytes(size, size));
      address += 0x10000;
    }
    test::WriteImage(path, plan);
    const ImageLoad load = LoadImage(path.string());
    EXPECT_TRUE(load.ok()) << load.rejection.message;
    return load.ok() ? *load.image : FirmwareImage{};
  }

  JobOptions Options() {
    JobOptions options;
    options.timeScale = FAST;
    options.trace = [this](const TraceEvent& event) {
      std::lock_guard lock(traceMutex_);
      traces_.push_back(
          {event.state, std::string(event.frame), event.length, event.settings, event.written});
    };
    return options;
  }

  std::unique_ptr<DownloadJob> MakeJob(JobOptions options) {
    auto job = std::make_unique<DownloadJob>(view_, port_->MakeBackend(), std::move(options));
    job->SetImage(image_);
    return job;
  }
  std::unique_ptr<DownloadJob> MakeJob() { return MakeJob(Options()); }

  // Waits until the job has ended and its worker is gone.
  static bool WaitForEnd(DownloadJob& job) {
    const auto deadline = std::chrono::steady_clock::now() + WAIT_LIMIT;
    while (job.IsRunning() || job.IsBusy()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    job.WaitForWorker();
    return true;
  }

  // Blocks the worker at gate_ the first time the view is handed `call`.
  void HoldAt(const ViewCall& call) {
    view_.SetHook([this, call](const ViewCall& made) {
      if (made == call) {
        gate_.Pass();
      }
    });
  }

  std::vector<TraceRecord> Traces() {
    std::lock_guard lock(traceMutex_);
    return traces_;
  }

  ViewCalls Calls() const { return view_.Calls(); }

  // The port is closed and no receive watcher is left.
  void ExpectPortReleased() const {
    EXPECT_FALSE(port_->IsOpen());
    EXPECT_EQ(port_->WaitersNow(), 0u);
  }

  test::TempDir dir_;
  std::filesystem::path path_ = dir_.File("image.zfr");
  FirmwareImage image_;
  std::shared_ptr<FakePort> port_ = FakePort::Make();
  test::RecordingView view_;
  std::mutex traceMutex_;
  std::vector<TraceRecord> traces_;
  Gate gate_;
  std::unique_ptr<DownloadJob> job_;
};

// A run's life as the view hears it: started, closing, ended (the reasons left out).
ViewCalls Life(const ViewCalls& calls) {
  ViewCalls life = test::LifeCalls(calls);
  for (ViewCall& call : life) {
    call.text.clear();
  }
  return life;
}

ViewCalls WholeRun(JobKind kind, JobOutcome outcome) {
  return {ViewCall::Started(kind), ViewCall::Closing(kind), ViewCall::Ended(kind, outcome)};
}

TEST_F(DownloadJobTest, DownloadRunsToCompletionAndReturnsToIdle) {
  job_ = MakeJob();
  job_->Start("COM3");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
  EXPECT_EQ(job_->State(), DL_DONE);
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Status).back(), TEXT_COMPLETE);
  EXPECT_EQ(test::ProgressPositions(calls).back(), 4510u);
  EXPECT_EQ(Life(calls), WholeRun(JobKind::Download, JobOutcome::Completed));
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Message), 0u);
  ExpectPortReleased();
  for (const test::FakeOpen& open : port_->Opens()) {
    EXPECT_EQ(open.portName, "COM3");
  }

  // One trace record per frame, as the port saw it.
  const std::vector<test::FakeWrite> writes = port_->Writes();
  const std::vector<TraceRecord> traces = Traces();
  ASSERT_EQ(traces.size(), writes.size());
  ASSERT_EQ(traces.size(), 12u);
  for (std::size_t i = 0; i < traces.size(); ++i) {
    EXPECT_EQ(traces[i].length, writes[i].bytes.size());
    EXPECT_EQ(traces[i].written, writes[i].written);
    EXPECT_EQ(traces[i].settings, writes[i].settings);
  }
  EXPECT_EQ(traces.front().frame, "AnnounceFrame");
  EXPECT_EQ(traces.front().state, DL_ANNOUNCE);
  EXPECT_EQ(traces[5].frame, "BlockFrame");
  EXPECT_EQ(traces[5].state, DL_DATA);
  EXPECT_EQ(traces.back().frame, "EndFrame");
  EXPECT_EQ(traces.back().state, DL_DATA + 6);
}

TEST_F(DownloadJobTest, CancelWhileAStepIsUnderWayWritesNothingMore) {
  HoldAt(ViewCall::Status(std::string(TEXT_DOWNLOADING) + "1/3"));
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(gate_.WaitReached());  // the first data step has begun; its block is next
  const std::size_t writesBefore = port_->WriteCount();

  job_->Cancel();  // returns without waiting for the worker
  EXPECT_FALSE(job_->IsRunning());
  EXPECT_EQ(job_->Outcome(), JobOutcome::Cancelled);
  ExpectPortReleased();
  EXPECT_TRUE(test::JobEnded(Calls()));

  gate_.Release();
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(port_->WriteCount(), writesBefore);
  EXPECT_EQ(port_->WritesWhileClosed(), 0u);
  EXPECT_EQ(job_->Outcome(), JobOutcome::Cancelled);
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Status, TEXT_COMPLETE), 0u);
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Message), 0u);
  EXPECT_EQ(Life(calls), WholeRun(JobKind::Download, JobOutcome::Cancelled));
}

// Closing a port drops what it has not sent yet: a re-open done ahead of its step still waits
// for the frame before it to leave the line.
TEST_F(DownloadJobTest, AReopenWaitsForTheFrameBeforeItToLeaveTheLine) {
  test::ImagePlan plan;
  plan.model = test::Model("7K WAKE");
  plan.segments.emplace_back(0x10000, test::PseudoRandomBytes(100, 1));
  test::WriteImage(path_, plan);
  image_ = *LoadImage(path_.string()).image;
  ASSERT_TRUE(image_.needsWake);
  std::mutex mutex;
  std::vector<test::FakeClock::duration> opens;
  port_->SetOpenHook([&](std::size_t, const LineSettings&) {
    std::lock_guard lock(mutex);
    opens.push_back(port_->Elapsed());
  });
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));
  ASSERT_EQ(job_->Outcome(), JobOutcome::Completed);

  const std::vector<test::FakeWrite> writes = port_->Writes();
  std::lock_guard lock(mutex);
  ASSERT_EQ(opens.size(), 3u);  // the button's open, then the wake frame's and the announce's
  for (std::size_t i = 1; i < opens.size(); ++i) {
    const auto before = std::find_if(writes.rbegin(), writes.rend(),
                                     [&](const test::FakeWrite& w) { return w.at < opens[i]; });
    ASSERT_NE(before, writes.rend()) << "re-open " << i;
    // The link stamps a write's start a moment before the fake does.
    EXPECT_GE(opens[i] + std::chrono::microseconds{50}, before->at + before->wireTime)
        << "re-open " << i;
  }
}

TEST_F(DownloadJobTest, StopDuringAReopenLeavesThePortClosedAndTheNextJobRuns) {
  port_->SetOpenHook([this](std::size_t index, const LineSettings&) {
    if (index == 1) {
      gate_.Pass();  // the announce step's re-open, inside the port's lock
    }
  });
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(gate_.WaitReached());

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    job_->Cancel();
    stopped = true;
  });
  // Let the stop revoke the run and wait for the re-open to let go of the port.
  std::this_thread::sleep_for(std::chrono::milliseconds{200});
  EXPECT_FALSE(stopped);
  gate_.Release();
  stopper.join();

  ExpectPortReleased();
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(port_->WriteCount(), 0u);
  EXPECT_EQ(port_->Opens().size(), 2u);
  EXPECT_EQ(job_->Outcome(), JobOutcome::Cancelled);
  EXPECT_TRUE(test::JobEnded(Calls()));

  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
}

TEST_F(DownloadJobTest, DownloadRightAfterACancelIsNotStoppedByIt) {
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(view_.WaitForStatus(TEXT_ANNOUNCE));
  job_->Cancel();
  job_->Start("COM1");  // the old worker may not have seen its stop request yet
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
  EXPECT_EQ(test::CountOf(Calls(), ViewCall::Kind::Status, TEXT_COMPLETE), 1u);
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, TestSendsTheTestCodeAndClosesThePort) {
  job_ = MakeJob();
  job_->StartTest("COM2");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::TestSent);
  EXPECT_EQ(job_->State(), DL_TEST);
  const std::vector<test::FakeWrite> writes = port_->Writes();
  ASSERT_EQ(writes.size(), 1u);
  const Frame code = TestCode();
  EXPECT_EQ(writes[0].bytes, std::vector<std::uint8_t>(code.bytes().begin(), code.bytes().end()));
  EXPECT_EQ(writes[0].settings, MakeLineSettings(115200, PARITY_CODE_ODD));
  ASSERT_EQ(port_->Opens().size(), 1u);
  EXPECT_EQ(port_->Opens()[0].portName, "COM2");
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Status), std::vector<std::string>{TEXT_TEST_SENT});
  EXPECT_EQ(Life(calls), WholeRun(JobKind::Test, JobOutcome::TestSent));
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, TestDuringADownloadDoesNothing) {
  HoldAt(ViewCall::Status(TEXT_ANNOUNCE));
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(gate_.WaitReached());
  const std::size_t opens = port_->Opens().size();
  const std::size_t calls = Calls().size();

  job_->StartTest("COM1");
  EXPECT_EQ(port_->Opens().size(), opens);
  EXPECT_EQ(Calls().size(), calls);
  gate_.Release();
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
}

TEST_F(DownloadJobTest, BusyPortIsReportedAndNothingChanges) {
  port_->FailAllOpens();
  job_ = MakeJob();
  for (bool test : {false, true}) {
    test ? job_->StartTest("COM1") : job_->Start("COM1");
    EXPECT_FALSE(job_->IsRunning());
    EXPECT_FALSE(job_->IsBusy());
    EXPECT_EQ(job_->Outcome(), JobOutcome::OpenFailed);
    EXPECT_EQ(job_->LastOsError().code, FakePort::BusyError().code);
  }
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message),
            (std::vector<std::string>{TEXT_OPEN_FAIL, TEXT_OPEN_FAIL}));
  EXPECT_EQ(Life(calls), (ViewCalls{ViewCall::Ended(JobKind::Download, JobOutcome::OpenFailed),
                                    ViewCall::Ended(JobKind::Test, JobOutcome::OpenFailed)}));
}

TEST_F(DownloadJobTest, FailedReopenIsReportedOnceAndANewDownloadCanStartAtOnce) {
  port_->FailOpens(1, 1);
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::OpenFailed);
  EXPECT_EQ(job_->State(), DL_DONE);
  ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message), std::vector<std::string>{TEXT_OPEN_FAIL});
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Status, TEXT_COMPLETE), 0u);
  EXPECT_EQ(Life(calls), WholeRun(JobKind::Download, JobOutcome::OpenFailed));
  EXPECT_EQ(port_->WriteCount(), 0u);
  ExpectPortReleased();

  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
}

TEST_F(DownloadJobTest, FailedWriteEndsTheDownloadWithTheReasonKept) {
  port_->FailWrites(5, 1, 100);  // the first block goes out short
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::WriteFailed);
  EXPECT_EQ(job_->LastOsError().code, FakePort::IoError().code);
  EXPECT_EQ(port_->WriteCount(), 6u);
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message), std::vector<std::string>{TEXT_WRITE_FAIL});
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Status, TEXT_COMPLETE), 0u);
  EXPECT_TRUE(test::JobEnded(calls));
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, FailedTestWriteIsNotReportedAsSent) {
  port_->FailWrites(0, 1, 0);
  job_ = MakeJob();
  job_->StartTest("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::WriteFailed);
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message), std::vector<std::string>{TEXT_WRITE_FAIL});
  EXPECT_EQ(test::CountOf(calls, ViewCall::Kind::Status, TEXT_TEST_SENT), 0u);
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, FileChangedSinceOpenDoesNotStart) {
  job_ = MakeJob();
  Load(path_, {1500, 10, 3001});  // another good image under the same path
  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));

  EXPECT_EQ(job_->Outcome(), JobOutcome::FileChanged);
  EXPECT_NE(job_->FailureDetail().find("the image file"), std::string::npos)
      << job_->FailureDetail();
  EXPECT_EQ(port_->WriteCount(), 0u);
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message), std::vector<std::string>{TEXT_FILE_ERROR});
  EXPECT_TRUE(test::JobEnded(calls));
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, OpenDuringADownloadDoesNotChangeIt) {
  HoldAt(ViewCall::Status(TEXT_ANNOUNCE));
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(gate_.WaitReached());
  const FirmwareImage other = Load(dir_.File("other.zfr"), {700});
  job_->SetImage(other);
  gate_.Release();
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
  EXPECT_EQ(test::ProgressPositions(Calls()).back(), 4510u);

  job_->Start("COM1");
  ASSERT_TRUE(WaitForEnd(*job_));
  EXPECT_EQ(job_->Outcome(), JobOutcome::Completed);
  EXPECT_EQ(test::ProgressPositions(Calls()).back(), 700u);
}

TEST_F(DownloadJobTest, WorkerThatCannotStartIsReportedWithThePortClosed) {
  JobOptions options = Options();
  options.startThread = [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  job_ = MakeJob(std::move(options));
  job_->Start("COM1");

  EXPECT_EQ(job_->Outcome(), JobOutcome::ThreadFailed);
  EXPECT_FALSE(job_->IsRunning());
  EXPECT_FALSE(job_->IsBusy());
  const ViewCalls calls = Calls();
  EXPECT_EQ(test::Texts(calls, ViewCall::Kind::Message),
            std::vector<std::string>{TEXT_THREAD_FAIL});
  EXPECT_EQ(Life(calls), ViewCalls{ViewCall::Ended(JobKind::Download, JobOutcome::ThreadFailed)});
  EXPECT_EQ(port_->Closes(), 1u);
  ExpectPortReleased();
}

TEST_F(DownloadJobTest, DestroyingARunningJobStopsItAndJoinsItsThreads) {
  {
    auto local = MakeJob();
    local->Start("COM1");
    ASSERT_TRUE(view_.WaitForStatus(TEXT_ANNOUNCE));
  }
  ExpectPortReleased();
  // The window is going away: it hears of the start only.
  EXPECT_EQ(Life(Calls()), ViewCalls{ViewCall::Started(JobKind::Download)});
}

TEST_F(DownloadJobTest, ReceivedBytesAreNoticedOncePerGateOpening) {
  HoldAt(ViewCall::Status(TEXT_ANNOUNCE));
  job_ = MakeJob();
  job_->Start("COM1");
  ASSERT_TRUE(gate_.WaitReached());
  port_->ReportReceived(3);
  ASSERT_TRUE(view_.WaitUntil(
      [](const ViewCalls& calls) { return test::CountOf(calls, ViewCall::Kind::Received) == 1; }));
  port_->ReportReceived(5);
  std::this_thread::sleep_for(std::chrono::milliseconds{20});
  EXPECT_EQ(test::CountOf(Calls(), ViewCall::Kind::Received), 1u);
  gate_.Release();
  job_->Cancel();
  ASSERT_TRUE(WaitForEnd(*job_));
  ExpectPortReleased();
}

}  // namespace
}  // namespace tarvex
