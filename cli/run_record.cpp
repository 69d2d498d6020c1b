#include "cli/run_record.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "image/image_format.h"
#include "platform/utf8_path.h"

namespace tarvex::cli {

namespace {

double Seconds(const PortResult& port) {
  return std::chrono::duration<double>(port.ended - port.started).count();
}

// A record outlives the folder it was made in: it names the image wherever it is read.
std::string AbsolutePath(const std::string& utf8) {
  if (utf8.empty()) {
    return utf8;
  }
  std::error_code error;
  const auto path = std::filesystem::absolute(PathFromUtf8(utf8), error);
  if (error) {
    return utf8;
  }
  const std::u8string text = path.lexically_normal().u8string();
  return {text.begin(), text.end()};
}

std::string ImageFacts(const FirmwareImage& image) {
  return fmt::format("image model \"{}\", CRC 0x{:08X}, {} segments", Latin1ToUtf8(image.modelText),
                     ImageCrcField(image.header), SegmentCount(image.header));
}

}  // namespace

JobOutcome Goal(JobKind kind) {
  return kind == JobKind::Download ? JobOutcome::Completed : JobOutcome::TestSent;
}

std::string Reason(const PortResult& port) {
  std::string text;
  for (const auto& message : port.messages) {
    text += (text.empty() ? "" : "; ") + message;
  }
  if (text.empty()) {
    text = port.outcome == JobOutcome::Cancelled ? "stopped" : "did not complete";
  }
  if (!port.detail.empty()) {
    text += ": " + port.detail;
  } else if (port.error) {
    text += ": " + port.error.Reason();
  }
  return text;
}

std::string Advice(const PortResult& port) {
  return port.error ? port.error.Advice() : std::string();
}

std::string OutcomeWord(const PortResult& port, JobKind kind) {
  if (port.outcome == Goal(kind)) {
    return "OK";
  }
  return port.outcome == JobOutcome::Cancelled ? "STOPPED" : "FAILED";
}

std::string SummaryLine(const PortResult& port, JobKind kind, const FirmwareImage* image) {
  // The reason of a failure is said once, with its fix, on the error output.
  std::string line = fmt::format("{}: {}, {} bytes in {} frame{} in {:.1f} s", port.port,
                                 OutcomeWord(port, kind), port.sent.bytes, port.sent.frames,
                                 port.sent.frames == 1 ? "" : "s", Seconds(port));
  if (image != nullptr) {
    line += "; " + ImageFacts(*image);
  }
  return line;
}

std::string IsoUtc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto since = time.time_since_epoch();
  const auto seconds = floor<std::chrono::seconds>(since);
  const auto millis = duration_cast<milliseconds>(since - seconds).count();
  const year_month_day day{floor<days>(sys_seconds{seconds})};
  const hh_mm_ss clock{seconds - floor<days>(seconds)};
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", static_cast<int>(day.year()),
                     static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()),
                     clock.hours().count(), clock.minutes().count(), clock.seconds().count(),
                     millis);
}

const char* JobName(JobKind kind) {
  return kind == JobKind::Download ? "download" : "test";
}

void AddImageIdentity(Json& record, const FirmwareImage& image) {
  record["image"] = AbsolutePath(image.path);
  record["model"] = Latin1ToUtf8(image.modelText);
  record["image_crc"] = ImageCrcField(image.header);
  record["payload_length"] = PayloadLength(image.header);
}

Json ReportRecord(const PortResult& port, const ReportContext& context) {
  const bool ok = port.outcome == Goal(context.kind);
  Json record = {{"start", IsoUtc(port.started)},
                 {"end", IsoUtc(port.ended)},
                 {"host", context.host},
                 {"job", JobName(context.kind)},
                 {"port", port.port},
                 {"device", context.device},
                 {"usb_serial", context.usbSerial.empty() ? Json() : Json(context.usbSerial)}};
  if (context.image != nullptr) {
    AddImageIdentity(record, *context.image);
  }
  record["bytes_sent"] = port.sent.bytes;
  record["frames_sent"] = port.sent.frames;
  record["outcome"] = OutcomeWord(port, context.kind);
  record["reason"] = ok ? Json() : Json(Reason(port));
  record["tool"] = "tarvex-cli " TARVEX_VERSION;
  return record;
}

}  // namespace tarvex::cli
