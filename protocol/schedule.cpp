#include "protocol/schedule.h"

#include <memory>

#include "link/serial_link.h"
#include "protocol/null_port_backend.h"
#include "protocol/pacing.h"
#include "protocol/port_guard.h"
#include "protocol/sequencer.h"

namespace tarvex {

namespace {

constexpr std::uint32_t START_BAUD = 100000;  // bit/s, as the Download button opens the port

class NullView : public JobView {
 public:
  void SetStatusText(const std::string&) override {}
  void SetProgressRange(std::uint32_t, std::uint32_t) override {}
  void SetProgressPos(std::uint32_t) override {}
  void EnableControl(int, bool) override {}
  void SetDownloadText(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  bool AskOkCancel(const std::string&) override { return false; }
  void NotifyReceived() override {}
};

}  // namespace

std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image) {
  auto backend = std::make_unique<NullPortBackend>();
  NullPortBackend& line = *backend;
  SerialLink link(std::move(backend));
  PortGuard guard(link);
  NullView view;

  const char* portName = "null";
  StepContext ctx{guard,
                  guard.Open(portName, PARITY_CODE_EVEN, START_BAUD),
                  view,
                  {},
                  std::chrono::steady_clock::now()};
  DownloadData data = NewDownload(portName, image);
  std::chrono::milliseconds waits{0};
  for (;;) {
    waits += PacingDelay(data.state);
    if (data.state == DL_DONE) {
      break;
    }
    if (StepDownload(ctx, data) != StepResult::Done) {
      guard.End(ctx.ticket, JobOutcome::Cancelled);
      return std::nullopt;
    }
  }
  guard.End(ctx.ticket, JobOutcome::Completed);
  const auto wire = std::chrono::round<std::chrono::milliseconds>(line.WireTimeSum());
  return ScheduleEstimate{data.dataSteps, waits + wire};
}

}  // namespace tarvex
