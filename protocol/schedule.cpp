#include "protocol/schedule.h"

#include <algorithm>
#include <memory>

#include "link/serial_link.h"
#include "protocol/image_file.h"
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

// The frames' lengths, and so the schedule, depend only on the header: every data byte may be
// a zero, and the copy checked at Open stands for the file.
class SizesOnlySource final : public ImageSource {
 public:
  FileCheck Check(const FirmwareImage& /*image*/) const override { return FileCheck::Same; }
  FileCheck ReadBytes(const FirmwareImage& /*image*/, std::uint32_t /*position*/,
                      std::span<std::uint8_t> out) const override {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return FileCheck::Same;
  }
};

}  // namespace

std::optional<ScheduleEstimate> EstimateSchedule(const FirmwareImage& image,
                                                 const TraceSink& trace) {
  static const SizesOnlySource zeros;
  return RunSchedule(image, zeros, trace);
}

std::optional<ScheduleEstimate> RunSchedule(const FirmwareImage& image, const ImageSource& source,
                                            const TraceSink& trace) {
  auto backend = std::make_unique<NullPortBackend>();
  NullPortBackend& line = *backend;
  SerialLink link(std::move(backend));
  PortGuard guard(link);
  NullView view;

  const char* portName = "null";
  StepContext ctx{guard,
                  guard.Open(portName, PARITY_CODE_EVEN, START_BAUD),
                  view,
                  trace,
                  std::chrono::steady_clock::now(),
                  source};
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
