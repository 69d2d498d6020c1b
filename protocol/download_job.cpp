#include "protocol/download_job.h"

#include "protocol/image_file.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "link/serial_link.h"
#include "platform/manual_event.h"
#include "platform/thread_timing.h"
#include "protocol/pacing.h"
#include "protocol/port_guard.h"
#include "protocol/sequencer.h"
#include "protocol/texts.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t START_BAUD = 100000;  // bit/s, 8E1: only the BreakByte goes out at it
constexpr std::uint32_t TEST_BAUD = 115200;   // bit/s, 8O1

// One download or test, from the button press to the end of its pacing worker. Each run has
// its own stop request, so a cancelled run's request can never reach the next run's worker.
struct Run {
  PortGuard::Ticket ticket = PortGuard::NO_TICKET;
  DownloadData data;                          // touched by the worker only, once it has been let go
  std::shared_ptr<const ImageSource> source;  // where the image's bytes come from
  std::chrono::steady_clock::time_point start;
  ManualEvent stopEvent{false};
  ManualEvent go{false};  // the worker starts on it, like a thread created suspended
  std::atomic<DownloadState> state{DL_ANNOUNCE};  // data.state, published for State()
  std::atomic<bool> finished{false};
};

struct Worker {
  std::thread thread;
  std::shared_ptr<Run> run;
};

struct Failure {
  JobOutcome outcome;
  const char* message;
};

std::optional<Failure> FailureOf(StepResult result) {
  switch (result) {
    case StepResult::OpenFailed:
      return Failure{JobOutcome::OpenFailed, TEXT_OPEN_FAIL};
    case StepResult::WriteFailed:
      return Failure{JobOutcome::WriteFailed, TEXT_WRITE_FAIL};
    case StepResult::FileChanged:
      return Failure{JobOutcome::FileChanged, TEXT_FILE_ERROR};
    case StepResult::Done:
    case StepResult::Retry:
    case StepResult::Cancelled:
      break;
  }
  return std::nullopt;
}

}  // namespace

struct DownloadJob::Impl {
  Impl(JobView& jobView, std::unique_ptr<PortBackend> backend, JobOptions jobOptions)
      : view(jobView), options(std::move(jobOptions)), link(std::move(backend)), guard(link) {
    link.SetReceiveNotice([this] { view.NotifyReceived(); });
  }

  void Start(const std::string& portName, bool test);
  void Cancel(bool changeControls);
  void RunWorker(Run& run);
  void PaceSteps(Run& run, StepContext& ctx);
  void LetFrameLeave(Run& run, const StepContext& ctx);
  void TestPath(Run& run, StepContext& ctx);
  void Completion(Run& run);
  void WindUp(Run& run, const Failure& failure);
  void SetFailureDetail(std::string detail);
  void StopComm(std::uint8_t keepButtons, PortGuard::Ticket ticket);
  std::thread Spawn(std::function<void()> body);
  void ReapFinished();
  void JoinAll();

  JobView& view;
  const JobOptions options;
  SerialLink link;
  PortGuard guard;

  mutable std::mutex mutex;  // guards the three below
  std::optional<FirmwareImage> image;
  std::shared_ptr<Run> current;
  std::vector<Worker> workers;
  std::string failureDetail;
};

std::thread DownloadJob::Impl::Spawn(std::function<void()> body) {
  if (options.startThread) {
    return options.startThread(std::move(body));
  }
  return std::thread(std::move(body));
}

void DownloadJob::Impl::Start(const std::string& portName, bool test) {
  auto run = std::make_shared<Run>();
  {
    std::lock_guard lock(mutex);
    if (!test && !image) {
      return;
    }
    if (test) {
      run->data.state = DL_TEST;  // the test's port is not the download's
    } else {
      run->data = NewDownload(portName, *image);
      run->source =
          options.imageSource ? options.imageSource : std::make_shared<SnapshotImageSource>();
    }
    failureDetail.clear();
  }
  run->state = run->data.state;
  run->start = std::chrono::steady_clock::now();
  run->ticket = test ? guard.Open(portName, PARITY_CODE_ODD, TEST_BAUD)
                     : guard.Open(portName, PARITY_CODE_EVEN, START_BAUD);
  if (run->ticket == PortGuard::NO_TICKET) {
    view.ShowMessage(TEXT_OPEN_FAIL);
    return;
  }
  {
    std::lock_guard lock(mutex);
    current = run;
  }
  ReapFinished();

  std::thread thread;
  try {
    thread = Spawn([this, run] { RunWorker(*run); });
  } catch (const std::system_error&) {
    guard.Settle(run->ticket, JobOutcome::ThreadFailed);
    guard.End(run->ticket, JobOutcome::ThreadFailed);
    view.ShowMessage(TEXT_THREAD_FAIL);
    return;
  }
  {
    std::lock_guard lock(mutex);
    workers.push_back(Worker{std::move(thread), run});
  }
  // The controls change before the worker goes, so that its own changes always come after.
  if (!test) {
    view.SetDownloadText(TEXT_CANCEL);
    view.EnableControl(ID_QUIT, false);
    view.EnableControl(ID_PORT_LIST, false);
  }
  run->go.Set();
}

// The close sequence with the stop request put before the port's last step; waits for the
// receive watcher (and a write in progress) but never for the pacing worker.
void DownloadJob::Impl::Cancel(bool changeControls) {
  std::shared_ptr<Run> run;
  {
    std::lock_guard lock(mutex);
    run = current;
  }
  if (!run || !guard.Busy()) {
    return;
  }
  if (changeControls) {
    view.EnableControl(ID_DOWNLOAD, false);
  }
  guard.End(run->ticket, JobOutcome::Cancelled);
  run->stopEvent.Set();
  if (changeControls) {
    view.EnableControl(ID_DOWNLOAD, true);
    view.SetDownloadText(TEXT_DOWNLOAD);
    view.EnableControl(ID_QUIT, true);
    view.EnableControl(ID_PORT_LIST, true);
  }
}

void DownloadJob::Impl::RunWorker(Run& run) {
  run.go.Wait();
  UseFinestTimerSlack();
  static const SnapshotImageSource noImage;  // a test code sends nothing of an image
  StepContext ctx{guard,         run.ticket, view,
                  options.trace, run.start,  run.source ? *run.source : noImage};
  if (run.data.state == DL_TEST) {
    TestPath(run, ctx);
  } else {
    PaceSteps(run, ctx);
  }
  run.source.reset();  // the image's copy goes with the download (unless others share it)
  run.finished = true;
}

// One sleep per step, to one deadline: the moment the previous step's frame has left the line
// (or the step ended, when it wrote nothing) plus the wait of the state. The write itself does
// not wait for the wire time, so the timer's lateness is paid once per step, not twice. What a
// step can do before its deadline (a re-open, the file's check) is done as the line falls free.
void DownloadJob::Impl::PaceSteps(Run& run, StepContext& ctx) {
  Clock::time_point from = Clock::now();
  for (;;) {
    const Clock::time_point deadline =
        from + ScaledDelay(PacingDelay(run.data.state), options.timeScale);
    PrepareFile(ctx, run.data);
    if (ChangesLine(run.data.state)) {
      if (run.stopEvent.WaitUntil(from)) {
        run.stopEvent.Reset();
        return;
      }
      if (guard.Holds(run.ticket) && link.running() == 1) {
        ReopenAhead(ctx, run.data);
      }
    }
    if (run.stopEvent.WaitUntil(deadline)) {
      run.stopEvent.Reset();
      return;
    }
    if (!guard.Holds(run.ticket)) {
      return;  // cancelled; its stop request is on its way
    }
    if (link.running() != 1 && !run.data.reopened) {  // a failed re-open is the step's to report
      from = Clock::now();
      continue;
    }
    if (run.data.state == DL_DONE) {
      Completion(run);
      return;
    }
    ctx.lineFree.reset();
    const StepResult result = StepDownload(ctx, run.data);
    from = ctx.lineFree.value_or(Clock::now());
    run.state = run.data.state;
    if (const std::optional<Failure> failure = FailureOf(result)) {
      LetFrameLeave(run, ctx);
      WindUp(run, *failure);
      return;
    }
    if (result == StepResult::Cancelled) {
      return;
    }
  }
}

// Closing the port drops what has not left yet: a frame just written goes out whole first.
void DownloadJob::Impl::LetFrameLeave(Run& run, const StepContext& ctx) {
  if (ctx.lineFree) {
    run.stopEvent.WaitUntil(*ctx.lineFree);
  }
}

void DownloadJob::Impl::TestPath(Run& run, StepContext& ctx) {
  const SendResult sent = SendFrame(ctx, DL_TEST, TestCode());
  if (sent == SendResult::Refused) {
    return;
  }
  LetFrameLeave(run, ctx);
  if (sent == SendResult::Short) {
    guard.Settle(run.ticket, JobOutcome::WriteFailed);
    guard.ClosePort(run.ticket);
    view.ShowMessage(TEXT_WRITE_FAIL);
  } else {
    guard.Settle(run.ticket, JobOutcome::TestSent);
    view.SetStatusText(TEXT_TEST_SENT);
  }
  StopComm(1, run.ticket);
  guard.End(run.ticket, JobOutcome::TestSent);
}

void DownloadJob::Impl::Completion(Run& run) {
  if (!guard.Settle(run.ticket, JobOutcome::Completed)) {
    return;
  }
  view.SetStatusText(TEXT_COMPLETE);
  StopComm(0, run.ticket);
  guard.End(run.ticket, JobOutcome::Completed);
}

// A download that cannot go on: the port is closed at once, the user is told, and the
// controls return to idle so that a new download can start.
void DownloadJob::Impl::WindUp(Run& run, const Failure& failure) {
  // Known before the outcome is, so that whoever sees the outcome sees why.
  const bool fileChanged = failure.outcome == JobOutcome::FileChanged && run.source;
  SetFailureDetail(fileChanged ? run.source->Reason() : std::string());
  if (!guard.Settle(run.ticket, failure.outcome)) {
    SetFailureDetail({});
    return;  // cancelled meanwhile; the cancel path did the rest
  }
  guard.ClosePort(run.ticket);
  view.ShowMessage(failure.message);
  StopComm(0, run.ticket);
  guard.End(run.ticket, failure.outcome);
}

void DownloadJob::Impl::SetFailureDetail(std::string detail) {
  std::lock_guard lock(mutex);
  failureDetail = std::move(detail);
}

void DownloadJob::Impl::StopComm(std::uint8_t keepButtons, PortGuard::Ticket ticket) {
  if (keepButtons != 1) {
    view.EnableControl(ID_DOWNLOAD, false);
  }
  guard.ClosePort(ticket);
  if (keepButtons != 1) {
    view.EnableControl(ID_DOWNLOAD, true);
    view.SetDownloadText(TEXT_DOWNLOAD);
    view.EnableControl(ID_QUIT, true);
  }
  view.EnableControl(ID_PORT_LIST, true);
}

// Joins the workers of earlier runs that have ended; they make no more view calls.
void DownloadJob::Impl::ReapFinished() {
  std::vector<Worker> ended;
  {
    std::lock_guard lock(mutex);
    auto it = workers.begin();
    while (it != workers.end()) {
      if (it->run->finished) {
        ended.push_back(std::move(*it));
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Worker& worker : ended) {
    worker.thread.join();
  }
}

void DownloadJob::Impl::JoinAll() {
  std::vector<Worker> all;
  {
    std::lock_guard lock(mutex);
    all.swap(workers);
  }
  for (Worker& worker : all) {
    if (worker.thread.joinable()) {
      worker.thread.join();
    }
  }
}

DownloadJob::DownloadJob(JobView& view, std::unique_ptr<PortBackend> backend, JobOptions options)
    : impl_(std::make_unique<Impl>(view, std::move(backend), std::move(options))) {}

DownloadJob::~DownloadJob() {
  impl_->Cancel(false);
  impl_->JoinAll();
}

void DownloadJob::SetImage(const FirmwareImage& image) {
  std::lock_guard lock(impl_->mutex);
  impl_->image = image;
}

bool DownloadJob::HasImage() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->image.has_value();
}

void DownloadJob::OnBnClickedDownload(const std::string& portName) {
  if (!impl_->guard.Busy()) {
    impl_->Start(portName, false);
    return;
  }
  // The download goes on while the question is open.
  if (impl_->view.AskOkCancel(TEXT_STOP)) {
    impl_->Cancel(true);
  }
}

void DownloadJob::OnBnClickedTest(const std::string& portName) {
  if (!impl_->guard.Busy()) {
    impl_->Start(portName, true);
  }
}

void DownloadJob::Stop() {
  impl_->Cancel(true);
}

void DownloadJob::WaitForWorker() {
  impl_->JoinAll();
}

bool DownloadJob::IsRunning() const {
  return impl_->guard.Busy();
}

bool DownloadJob::IsBusy() const {
  std::lock_guard lock(impl_->mutex);
  for (const Worker& worker : impl_->workers) {
    if (!worker.run->finished) {
      return true;
    }
  }
  return false;
}

JobOutcome DownloadJob::Outcome() const {
  return impl_->guard.Outcome();
}

OsError DownloadJob::LastOsError() const {
  return impl_->guard.LastError();
}

std::string DownloadJob::FailureDetail() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->failureDetail;
}

DownloadState DownloadJob::State() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->current ? impl_->current->state.load() : DL_ANNOUNCE;
}

}  // namespace tarvex
