#include "engine/pacing_worker.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;

// False when the run is to stop: its stop request came, or it no longer holds the port.
bool WaitFor(JobRun& run, const PortGuard& guard, Clock::time_point until) {
  if (run.stopEvent.WaitUntil(until)) {
    run.stopEvent.Reset();
    return false;
  }
  return guard.Holds(run.ticket);
}

bool Reopen(JobRun& run, PortGuard& guard, const LineRequest& line) {
  const PortGuard::Reopen reopened =
      guard.ReopenPort(run.ticket, run.portName, line.parity, line.baud);
  if (reopened == PortGuard::Reopen::Refused) {
    return false;
  }
  run.plan.Opened(reopened == PortGuard::Reopen::Opened);
  return true;
}

bool Write(JobRun& run, PortGuard& guard, const PlanAction& action, const TraceSink& trace) {
  const Frame& frame = run.plan.FrameToWrite();
  // The trace gives the moment the frame began to go out, as a line analyser would see it.
  const Clock::time_point began = trace ? Clock::now() : run.start;
  const std::optional<PortGuard::Written> written = guard.Write(run.ticket, frame);
  if (!written) {
    return false;
  }
  if (trace) {
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(began - run.start);
    trace(TraceEvent{since, action.state, frame.name(), frame.size(), written->settings,
                     written->count});
  }
  run.plan.Written(written->count, written->lineFree);
  return true;
}

// Status and progress are handed to the view, which must not make the worker wait.
void Show(JobView& view, const PlanAction& action) {
  switch (action.kind) {
    case PlanAction::Kind::Status:
      view.Status(action.text);
      break;
    case PlanAction::Kind::Segment:
      view.Segment(action.value, action.count);
      break;
    case PlanAction::Kind::ProgressRange:
      view.ProgressRange(action.value);
      break;
    case PlanAction::Kind::Progress:
      view.Progress(action.value);
      break;
    default:
      break;
  }
}

}  // namespace

std::optional<PlanAction> DrivePlan(JobRun& run, PortGuard& guard, JobView& view,
                                    const TraceSink& trace) {
  for (;;) {
    const PlanAction action = run.plan.Next(Clock::now());
    run.state = run.plan.State();
    bool goOn = true;
    switch (action.kind) {
      case PlanAction::Kind::Finished:
        return action;
      case PlanAction::Kind::Wait:
        goOn = WaitFor(run, guard, action.until);
        break;
      case PlanAction::Kind::Open:  // the run's own open is done before its worker starts
      case PlanAction::Kind::Reopen:
        goOn = Reopen(run, guard, action.line);
        break;
      case PlanAction::Kind::Write:
        goOn = Write(run, guard, action, trace);
        break;
      default:
        Show(view, action);
        break;
    }
    if (!goOn) {
      run.plan.Stop();
      return std::nullopt;
    }
  }
}

}  // namespace tarvex
