#include "cli/job_session.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "cli/console_view.h"
#include "cli/interrupt_signals.h"
#include "cli/progress_display.h"
#include "cli/terminal.h"
#include "cli/trace_writer.h"
#include "link/port_list.h"
#include "protocol/schedule.h"

namespace tarvex::cli {

namespace {

constexpr std::chrono::milliseconds DISPLAY_PERIOD{100};

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

PortResult ResultOf(const PortJob& entry, const JobSnapshot& snap) {
  return {entry.port, entry.job->Outcome(), entry.job->LastOsError(), snap.messages, snap.status};
}

// A port's line: while its job runs, the share of the planned time gone by; once it is over,
// 100 % when it reached its goal and otherwise what went wrong, so that no line freezes as if
// it were still running.
PortProgress LineOf(const PortJob& entry, JobKind kind, std::chrono::milliseconds elapsed,
                    std::chrono::milliseconds planned) {
  const auto snap = entry.view->Snapshot();
  PortProgress line;
  line.port = entry.port;
  line.status = snap.status;
  line.statusHistory = snap.statusHistory;
  if (entry.job->IsBusy()) {
    line.done = DoneShare(elapsed, planned, false);
    line.remaining = planned - elapsed;
    return line;
  }
  const PortResult result = ResultOf(entry, snap);
  if (result.outcome == Goal(kind)) {
    line.done = DoneShare(elapsed, planned, true);
  } else if (result.outcome != JobOutcome::None) {
    line.ending = result.outcome == JobOutcome::Cancelled ? "stopped" : "FAILED: " + Reason(result);
  }
  return line;
}

std::vector<PortProgress> Progress(const std::vector<PortJob>& jobs, JobKind kind,
                                   std::chrono::milliseconds elapsed,
                                   std::chrono::milliseconds planned) {
  std::vector<PortProgress> lines;
  for (const auto& entry : jobs) {
    lines.push_back(LineOf(entry, kind, elapsed, planned));
  }
  return lines;
}

// "2 of 3 ports OK", for a run on several ports.
void Summarize(const SessionResult& result, JobKind kind, std::ostream& out) {
  if (result.ports.size() < 2) {
    return;
  }
  std::size_t ok = 0;
  for (const PortResult& port : result.ports) {
    ok += port.outcome == Goal(kind) ? 1 : 0;
  }
  out << ok << " of " << result.ports.size() << " ports OK\n";
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

SessionResult RunSession(const FirmwareImage* image, const std::vector<std::string>& ports,
                         const SessionOptions& options, Io io) {
  SessionResult result;
  // Before any job thread exists, so that only this thread takes Ctrl-C and SIGTERM.
  InterruptSignals signals;
  const auto planned = PlannedDuration(image, options.timeScale);
  const auto start = std::chrono::steady_clock::now();
  auto jobs = StartJobs(image, ports, options, options.trace);

  const auto elapsed = [start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  ProgressDisplay display(io.out, options.terminal, TerminalColumns);
  while (AnyBusy(jobs)) {
    display.Draw(Progress(jobs, options.kind, elapsed(), planned));
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
  display.Draw(Progress(jobs, options.kind, elapsed(), planned));
  display.Finish();
  for (const auto& entry : jobs) {
    result.ports.push_back(ResultOf(entry, entry.view->Snapshot()));
  }
  Summarize(result, options.kind, io.out);
  return result;
}

double DoneShare(std::chrono::milliseconds elapsed, std::chrono::milliseconds planned,
                 bool finished) {
  // A running job that is late stays short of 100 %, which only a finished one shows.
  constexpr double RUNNING_AT_MOST = 0.99;
  if (finished) {
    return 1.0;
  }
  if (planned.count() <= 0) {
    return 0.0;
  }
  const double share = static_cast<double>(elapsed.count()) / static_cast<double>(planned.count());
  return std::clamp(share, 0.0, RUNNING_AT_MOST);
}

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
