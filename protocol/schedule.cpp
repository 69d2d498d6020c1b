#include "protocol/schedule.h"

#include <functional>

#include "protocol/download_plan.h"
#include "protocol/line_settings.h"

namespace tarvex {

namespace {

using FrameSink = std::function<void(const PlanAction& write, PlanTime at, const LineSettings&)>;

// Drives `plan` on a virtual clock from PlanTime{}: a wait ends at its instant, a write takes its
// wire time. `onWrite` sees every frame as it starts.
std::optional<ScheduleEstimate> Drive(DownloadPlan& plan, const FrameSink& onWrite,
                                      PlanTime* end = nullptr) {
  const PlanTime start{};
  PlanTime now = start;
  LineSettings line;
  std::chrono::microseconds wire{0};
  std::uint32_t wireFor = 0;  // the frame length frameWire is for
  std::chrono::microseconds frameWire{0};
  while (plan.Retries() == 0) {
    const PlanAction action = plan.Next(now);
    switch (action.kind) {
      case PlanAction::Kind::Open:
      case PlanAction::Kind::Reopen:
        line = MakeLineSettings(action.line.baud, action.line.parity);
        wireFor = 0;
        plan.Opened(true);
        break;
      case PlanAction::Kind::Wait:
        now = std::max(now, action.until);
        break;
      case PlanAction::Kind::Write: {
        if (onWrite) {
          onWrite(action, now, line);
        }
        // Nearly every frame is a full block at one setting: its wire time is worked out once.
        if (action.length != wireFor) {
          wireFor = action.length;
          frameWire = WireTime(line, action.length);
        }
        wire += frameWire;
        now += frameWire;
        plan.Written(action.length, now);
        break;
      }
      case PlanAction::Kind::Finished: {
        if (action.outcome != JobOutcome::Completed) {
          return std::nullopt;
        }
        if (end != nullptr) {
          *end = now;
        }
        // The waits are whole milliseconds; the wire time is rounded once, over the whole run.
        const auto waits =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - start - wire);
        return ScheduleEstimate{plan.DataSteps(),
                                waits + std::chrono::round<std::chrono::milliseconds>(wire)};
      }
      default:
        break;  // nothing is shown
    }
  }
  return std::nullopt;
}

FrameSink Traced(const TraceSink& trace) {
  if (!trace) {
    return {};
  }
  return [&trace](const PlanAction& write, PlanTime at, const LineSettings& line) {
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(at - PlanTime{});
    trace(TraceEvent{since, write.state, write.name, write.length, line, write.length});
  };
}

}  // namespace

std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image,
                                                 const TraceSink& trace) {
  DownloadPlan plan = DownloadPlan::Download(image, nullptr);
  return Drive(plan, Traced(trace));
}

std::optional<ScheduleEstimate> RunSchedule(const FirmwareImage& image, const ImageSource& source,
                                            const TraceSink& trace) {
  DownloadPlan plan = DownloadPlan::Download(image, &source);
  return Drive(plan, Traced(trace));
}

PlannedRun PlanRun(const FirmwareImage& image, double timeScale) {
  PlannedRun run;
  DownloadPlan plan = DownloadPlan::Download(image, nullptr, timeScale);
  PlanTime end{};
  Drive(
      plan,
      [&run](const PlanAction& write, PlanTime at, const LineSettings& line) {
        run.frames.push_back(PlannedFrame{at - PlanTime{}, write.state, write.length, line});
      },
      &end);
  run.end = end - PlanTime{};
  return run;
}

}  // namespace tarvex
