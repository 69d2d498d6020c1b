#include "cli/job_session.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/console_view.h"
#include "cli/frame_log.h"
#include "cli/interrupt_signals.h"
#include "cli/progress_display.h"
#include "cli/session_end.h"
#include "cli/terminal.h"
#include "cli/trace_writer.h"
#include "engine/download_job.h"
#include "engine/image_file.h"
#include "link/port_list.h"
#include "protocol/schedule.h"

namespace tarvex::cli {

namespace {

constexpr std::chrono::milliseconds DISPLAY_PERIOD{100};

// "COM3 (/dev/ttyS2)": a technician sees which device a port name stood for.
std::string PortLabel(const std::string& port) {
  const std::string device = DeviceForPortName(port);
  return device == port ? port : port + " (" + device + ")";
}

struct PortJob {
  std::string port;
  std::unique_ptr<ConsoleJobView> view;
  std::unique_ptr<DownloadJob> job;
  std::chrono::system_clock::time_point started = std::chrono::system_clock::now();
  std::optional<std::chrono::system_clock::time_point> ended;  // first seen over
};

// Every frame is counted for the summary, and traced when asked.
JobOptions OptionsFor(const SessionOptions& options, FrameLog& frames, std::size_t index,
                      const std::string& port, std::shared_ptr<const ImageSource> source) {
  JobOptions job;
  job.timeScale = options.timeScale;
  job.imageSource = std::move(source);
  job.trace = [&frames, trace = options.trace, index, port](const TraceEvent& event) {
    frames.Add(index, port, event);
    if (trace != nullptr) {
      trace->Write(FrameRecord(port, event));
    }
  };
  return job;
}

std::vector<PortJob> StartJobs(const FirmwareImage* image, const std::vector<std::string>& ports,
                               const SessionOptions& options, FrameLog& frames) {
  std::vector<PortJob> jobs;
  // One copy of the checked image serves every port.
  const auto source = std::make_shared<SnapshotImageSource>();
  for (const auto& port : ports) {
    PortJob entry;
    entry.port = port;
    entry.view = std::make_unique<ConsoleJobView>();
    entry.job =
        std::make_unique<DownloadJob>(*entry.view, MakeNativePortBackend(),
                                      OptionsFor(options, frames, jobs.size(), port, source));
    if (image != nullptr) {
      entry.job->SetImage(*image);
      entry.job->Start(port);
    } else {
      entry.job->StartTest(port);
    }
    jobs.push_back(std::move(entry));
  }
  return jobs;
}

// True while a job runs; a job's end time is taken when it is first seen over.
bool AnyBusy(std::vector<PortJob>& jobs) {
  bool busy = false;
  for (auto& entry : jobs) {
    if (entry.job->IsBusy()) {
      busy = true;
    } else if (!entry.ended) {
      entry.ended = std::chrono::system_clock::now();
    }
  }
  return busy;
}

PortResult ResultOf(const PortJob& entry, const JobSnapshot& snap) {
  PortResult result;
  result.port = entry.port;
  result.outcome = entry.job->Outcome();
  result.error = entry.job->LastOsError();
  result.detail = entry.job->FailureDetail();
  result.messages = snap.messages;
  result.lastStatus = snap.status;
  result.started = entry.started;
  result.ended = entry.ended.value_or(std::chrono::system_clock::now());
  return result;
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
    // Only the word: the reason follows once, in the summary.
    line.ending = result.outcome == JobOutcome::Cancelled ? "stopped" : "FAILED";
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

// Draws the jobs' lines, with -v the frames sent since the last drawing above them; -q draws
// nothing.
void Show(ProgressDisplay& display, FrameLog& frames, const std::vector<PortJob>& jobs,
          const SessionOptions& options, std::chrono::milliseconds elapsed,
          std::chrono::milliseconds planned) {
  if (options.verbosity == Verbosity::Quiet) {
    return;
  }
  display.PrintAbove(frames.Take());
  display.Draw(Progress(jobs, options.kind, elapsed, planned));
}

}  // namespace

SessionResult RunSession(const FirmwareImage* image, const std::vector<std::string>& ports,
                         const SessionOptions& options, Io io) {
  SessionResult result;
  // Before any job thread exists, so that only this thread takes Ctrl-C, SIGTERM and SIGHUP.
  InterruptSignals signals;
  const auto planned = PlannedDuration(image, options.timeScale);
  const auto start = std::chrono::steady_clock::now();
  if (options.trace != nullptr) {
    options.trace->Write(StartRecord(options.kind, ports, image));
  }
  FrameLog frames(ports.size(), options.verbosity == Verbosity::Verbose);
  auto jobs = StartJobs(image, ports, options, frames);

  const auto elapsed = [start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  ProgressDisplay display(io.out, options.terminal, TerminalColumns);
  while (AnyBusy(jobs)) {
    Show(display, frames, jobs, options, elapsed(), planned);
    if (signals.WaitFor(DISPLAY_PERIOD)) {
      result.interrupted = true;
      result.interruptStatus = signals.ExitStatus();
      for (auto& entry : jobs) {
        entry.job->Cancel();
      }
      break;
    }
  }
  for (auto& entry : jobs) {
    entry.job->WaitForWorker();
  }
  AnyBusy(jobs);
  Show(display, frames, jobs, options, elapsed(), planned);
  display.Finish();
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    result.ports.push_back(ResultOf(jobs[i], jobs[i].view->Snapshot()));
    result.ports.back().sent = frames.Sent(i);
  }
  result.recordLost =
      !EndSession(result.ports, {options.kind, image, options.trace, options.report}, io);
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
    return result.interruptStatus;
  }
  if (result.ports.empty() || result.recordLost) {
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
    const std::string advice = Advice(port);
    err << "tarvex-cli: " << PortLabel(port.port) << ": " << Reason(port)
        << (advice.empty() ? "" : "; " + advice) << '\n';
  }
  if (result.interrupted) {
    err << "tarvex-cli: interrupted; the port" << (result.ports.size() > 1 ? "s are" : " is")
        << " closed\n";
  }
}

}  // namespace tarvex::cli
