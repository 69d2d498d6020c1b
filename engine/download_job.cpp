#include "engine/download_job.h"

#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/image_file.h"
#include "engine/job_run.h"
#include "engine/pacing_worker.h"
#include "engine/port_guard.h"
#include "link/serial_link.h"
#include "platform/thread_timing.h"
#include "protocol/texts.h"

namespace tarvex {

namespace {

struct Worker {
  std::thread thread;
  std::shared_ptr<JobRun> run;
};

bool IsSuccess(JobOutcome outcome) {
  return outcome == JobOutcome::Completed || outcome == JobOutcome::TestSent;
}

}  // namespace

struct DownloadJob::Impl {
  Impl(JobView& jobView, std::unique_ptr<PortBackend> backend, JobOptions jobOptions)
      : view(jobView), options(std::move(jobOptions)), link(std::move(backend)), guard(link) {
    link.SetReceiveNotice([this] { view.Received(); });
  }

  std::shared_ptr<JobRun> NewRun(JobKind kind, const std::string& portName);
  void Start(std::shared_ptr<JobRun> run);
  bool OpenPort(JobRun& run);
  void Cancel(bool tell);
  void RunWorker(JobRun& run);
  void Finish(JobRun& run, const PlanAction& end);
  void Close(JobRun& run, JobOutcome outcome, const std::string& reason);
  std::string ReasonOf(const JobRun& run, JobOutcome outcome) const;
  void SetFailureDetail(std::string detail);
  std::thread Spawn(std::function<void()> body);
  void ReapFinished();
  void JoinAll();

  JobView& view;
  const JobOptions options;
  SerialLink link;
  PortGuard guard;

  mutable std::mutex mutex;  // guards the four below
  std::optional<FirmwareImage> image;
  std::shared_ptr<JobRun> current;
  std::vector<Worker> workers;
  std::string failureDetail;
};

std::thread DownloadJob::Impl::Spawn(std::function<void()> body) {
  if (options.startThread) {
    return options.startThread(std::move(body));
  }
  return std::thread(std::move(body));
}

// A download takes the image as it is now, and its own copy of the file unless the job's runs
// share one; empty when there is no image.
std::shared_ptr<JobRun> DownloadJob::Impl::NewRun(JobKind kind, const std::string& portName) {
  std::shared_ptr<JobRun> run;
  std::lock_guard lock(mutex);
  if (kind == JobKind::Test) {
    run = std::make_shared<JobRun>(kind, DownloadPlan::Test());
  } else if (image) {
    auto source =
        options.imageSource ? options.imageSource : std::make_shared<SnapshotImageSource>();
    run = std::make_shared<JobRun>(kind,
                                   DownloadPlan::Download(*image, source.get(), options.timeScale));
    run->source = std::move(source);
  } else {
    return nullptr;
  }
  run->portName = portName;
  failureDetail.clear();
  return run;
}

// The plan's first action: the port opens on the caller's thread, so a port that does not open
// is told before anything else happens.
bool DownloadJob::Impl::OpenPort(JobRun& run) {
  run.start = std::chrono::steady_clock::now();
  const PlanAction open = run.plan.Next(run.start);
  run.state = run.plan.State();
  run.ticket = guard.Open(run.portName, open.line.parity, open.line.baud);
  run.plan.Opened(run.ticket != PortGuard::NO_TICKET);
  if (run.ticket != PortGuard::NO_TICKET) {
    return true;
  }
  const PlanAction end = run.plan.Next(std::chrono::steady_clock::now());
  view.Message(end.text);
  view.Ended(run.kind, JobOutcome::OpenFailed, {});
  return false;
}

void DownloadJob::Impl::Start(std::shared_ptr<JobRun> run) {
  if (!run || !OpenPort(*run)) {
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
    view.Message(TEXT_THREAD_FAIL);
    view.Ended(run->kind, JobOutcome::ThreadFailed, {});
    return;
  }
  {
    std::lock_guard lock(mutex);
    workers.push_back(Worker{std::move(thread), run});
  }
  // The view hears of the start before the worker goes, so that the worker's events come after.
  view.Started(run->kind);
  run->go.Set();
}

// The close sequence with the stop request put before the port's last step; waits for the
// receive watcher (and a write in progress) but never for the pacing worker.
void DownloadJob::Impl::Cancel(bool tell) {
  std::shared_ptr<JobRun> run;
  {
    std::lock_guard lock(mutex);
    run = current;
  }
  if (!run || !guard.Busy()) {
    return;
  }
  if (tell) {
    view.Closing(run->kind);
  }
  guard.End(run->ticket, JobOutcome::Cancelled);
  run->stopEvent.Set();
  if (tell) {
    view.Ended(run->kind, guard.Outcome(), {});
  }
}

void DownloadJob::Impl::RunWorker(JobRun& run) {
  run.go.Wait();
  UseFinestTimerSlack();
  RaisePacingPriority();
  if (const std::optional<PlanAction> end = DrivePlan(run, guard, view, options.trace)) {
    Finish(run, *end);
  }
  run.source.reset();  // the image's copy goes with the download (unless others share it)
  run.finished = true;
}

// The run's end as its plan gives it. A download that cannot go on closes the port at once and
// tells the user; every end returns the port, so that a new run can start.
void DownloadJob::Impl::Finish(JobRun& run, const PlanAction& end) {
  if (end.outcome == JobOutcome::Cancelled) {
    return;
  }
  // Known before the outcome is, so that whoever sees the outcome sees why.
  const std::string reason = ReasonOf(run, end.outcome);
  SetFailureDetail(reason);
  if (!guard.Settle(run.ticket, end.outcome)) {
    SetFailureDetail({});
    return;  // cancelled meanwhile; the cancel path did the rest
  }
  if (IsSuccess(end.outcome)) {
    view.Status(end.text);
  } else {
    guard.ClosePort(run.ticket);
    view.Message(end.text);
  }
  Close(run, end.outcome, reason);
}

void DownloadJob::Impl::Close(JobRun& run, JobOutcome outcome, const std::string& reason) {
  view.Closing(run.kind);
  guard.ClosePort(run.ticket);
  view.Ended(run.kind, outcome, reason);
  guard.End(run.ticket, outcome);
}

std::string DownloadJob::Impl::ReasonOf(const JobRun& run, JobOutcome outcome) const {
  return outcome == JobOutcome::FileChanged && run.source ? run.source->Reason() : std::string();
}

void DownloadJob::Impl::SetFailureDetail(std::string detail) {
  std::lock_guard lock(mutex);
  failureDetail = std::move(detail);
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

void DownloadJob::Start(const std::string& portName) {
  if (!impl_->guard.Busy()) {
    impl_->Start(impl_->NewRun(JobKind::Download, portName));
  }
}

void DownloadJob::StartTest(const std::string& portName) {
  if (!impl_->guard.Busy()) {
    impl_->Start(impl_->NewRun(JobKind::Test, portName));
  }
}

void DownloadJob::Cancel() {
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
