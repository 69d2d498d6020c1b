#include "protocol/schedule.h"

#include "protocol/download_plan.h"
#include "protocol/line_settings.h"

namespace tarvex {

namespace {

// Drives `plan` on a virtual clock: a wait ends at its instant, a write takes its wire time.
std::optional<ScheduleEstimate> Drive(DownloadPlan& plan, const TraceSink& trace) {
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
        if (trace) {
          const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
          trace(TraceEvent{since, action.state, action.name, action.length, line, action.length});
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
        // The waits are whole milliseconds; the wire time is rounded once, over the whole run.
        const auto waits = std::chrono::duration_cast<std::chrono::milliseconds>(now - start - wire);
        return ScheduleEstimate{plan.DataSteps(),
                                waits + std::chrono::round<std::chrono::milliseconds>(wire)};
      }
      default:
        break;  // nothing is shown
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image,
                                                 const TraceSink& trace) {
  DownloadPlan plan = DownloadPlan::Download(image, nullptr);
  return Drive(plan, trace);
}

std::optional<ScheduleEstimate> RunSchedule(const FirmwareImage& image, const ImageSource& source,
                                            const TraceSink& trace) {
  DownloadPlan plan = DownloadPlan::Download(image, &source);
  return Drive(plan, trace);
}

}  // namespace tarvex
