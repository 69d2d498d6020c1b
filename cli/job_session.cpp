#include "cli/job_session.h"

#include <memory>
#include <ostream>

#include "cli/console_view.h"
#include "cli/interrupt_signals.h"
#include "cli/progress_display.h"
#include "cli/trace_writer.h"
#include "link/port_list.h"
#include "protocol/schedule.h"

namespace tarvex::cli {

namespace {

constexpr std::chrono::milliseconds DISPLAY_PERIOD{100};

struct PortJob {
  std::string port;
  std::unique_ptr<ConsoleJobView> view;
  std::unique_ptr<DownloadJob> job;
};

JobOptions OptionsFor(const SessionOptions& options, TraceWriter* trace, const std::string& port) {
  JobOptions job;
  job.timeScale = options.timeScale;
  if (trace != nullptr) {
    job.trace = [trace, port](const TraceEvent& event) { trace->Write(port, event); };
  }
  return job;
}

std::vector<PortJob> StartJobs(const FirmwareImage* image, const std::vector<std::string>& ports,
                               const SessionOptions& options, TraceWriter* trace) {
  std::vector<PortJob> jobs;
  for (const auto& port : ports) {
    PortJob entry{port, std::make_unique<ConsoleJobView>(), nullptr};
    entry.job = std::make_unique<DownloadJob>(*entry.view, MakeNativePortBackend(),
                                              OptionsFor(options, trace, port));
    if (image != nullptr) {
      entry.job->SetImage(*image);
      entry.job->OnBnClickedDownload(port);
    } else {
      entry.job->OnBnClickedTest(port);
    }
    jobs.push_back(std::move(entry));
  }
  return jobs;
}

bool AnyBusy(const std::vector<PortJob>& jobs) {
  for (const auto& entry : jobs) {
    if (entry.job->IsBusy()) {
      return true;
    }
  }
  return false;
}

std::vector<PortProgress> Progress(const std::vector<PortJob>& jobs,
                                   std::chrono::milliseconds remaining) {
  std::vector<PortProgress> lines;
  for (const auto& entry : jobs) {
    const auto snap = entry.view->Snapshot();
    const auto left = entry.job->IsBusy() ? remaining : std::chrono::milliseconds{0};
    lines.push_back(
        {entry.port, snap.status, snap.statusHistory, snap.progressHigh, snap.progressPos, left});
  }
  return lines;
}

}  // namespace

std::chrono::milliseconds PlannedDuration(const FirmwareImage* image, double timeScale) {
  if (image == nullptr) {
    return std::chrono::milliseconds{0};
  }
  const auto estimate = EstimateSchedule(*image);
  if (!estimate) {
    return std::chrono::milliseconds{0};
  }
  return std::chrono::milliseconds{
      static_cast<std::int64_t>(static_cast<double>(estimate->duration.count()) * timeScale)};
}

namespace {

PortResult ResultOf(const PortJob& entry) {
  const auto snap = entry.view->Snapshot();
  return {entry.port, entry.job->Outcome(), entry.job->LastOsError(), snap.messages, snap.status};
}

}  // namespace

SessionResult RunSession(const FirmwareImage* image, const std::vector<std::string>& ports,
                         const SessionOptions& options, Io io) {
  SessionResult result;
  // Before any job thread exists, so that only this thread takes Ctrl-C and SIGTERM.
  InterruptSignals signals;
  const auto planned = PlannedDuration(image, options.timeScale);
  const auto start = std::chrono::steady_clock::now();
  auto jobs = StartJobs(image, ports, options, options.trace);

  ProgressDisplay display(io.out, options.terminal);
  while (AnyBusy(jobs)) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    display.Draw(Progress(jobs, planned - elapsed));
    if (signals.WaitFor(DISPLAY_PERIOD)) {
      result.interrupted = true;
      for (auto& entry : jobs) {
        entry.job->Stop();
      }
      break;
    }
  }
  for (auto& entry : jobs) {
    entry.job->WaitForWorker();
  }
  display.Draw(Progress(jobs, std::chrono::milliseconds{0}));
  display.Finish();
  for (const auto& entry : jobs) {
    result.ports.push_back(ResultOf(entry));
  }
  return result;
}

namespace {

JobOutcome Goal(JobKind kind) {
  return kind == JobKind::Download ? JobOutcome::Completed : JobOutcome::TestSent;
}

// "COM3 (/dev/ttyS2)": a technician sees which device a port name stood for.
std::string PortLabel(const std::string& port) {
  const std::string device = DeviceForPortName(port);
  return device == port ? port : port + " (" + device + ")";
}

std::string Reason(const PortResult& port) {
  std::string text;
  for (const auto& message : port.messages) {
    text += (text.empty() ? "" : "; ") + message;
  }
  if (text.empty()) {
    text = port.outcome == JobOutcome::Cancelled ? "stopped" : "did not complete";
  }
  if (port.error) {
    text += ": " + port.error.Message();
  }
  return text;
}

}  // namespace

int ExitCodeFor(const SessionResult& result, JobKind kind) {
  if (result.interrupted) {
    return EXIT_INTERRUPTED;
  }
  if (result.ports.empty()) {
    return EXIT_FAILED;
  }
  for (const auto& port : result.ports) {
    if (port.outcome != Goal(kind)) {
      return EXIT_FAILED;
    }
  }
  return EXIT_OK;
}

void ReportFailures(const SessionResult& result, JobKind kind, std::ostream& err) {
  for (const auto& port : result.ports) {
    if (port.outcome == Goal(kind)) {
      continue;
    }
    err << "tarvex-cli: " << PortLabel(port.port) << ": " << Reason(port) << '\n';
  }
  if (result.interrupted) {
    err << "tarvex-cli: interrupted; the port" << (result.ports.size() > 1 ? "s are" : " is")
        << " closed\n";
  }
}

}  // namespace tarvex::cli
