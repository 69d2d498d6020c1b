#include "cli/trace_writer.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "image/image_format.h"
#include "platform/utf8_path.h"

namespace tarvex::cli {

Json FrameRecord(const std::string& port, const TraceEvent& event) {
  return {{"record", "frame"},
          {"t_ms", event.sinceStart.count()},
          {"port", port},
          {"state", event.state},
          {"frame", event.frame},
          {"length", event.length},
          {"settings", Describe(event.settings)},
          {"baud", event.settings.baud},
          {"parity", ParityName(event.settings.parity)},
          {"stop_bits", event.settings.stopBits},
          {"written", event.written}};
}

Json StartRecord(JobKind kind, const std::vector<std::string>& ports, const FirmwareImage* image) {
  Json record = {{"record", "start"},
                 {"tool", "tarvex-cli " TARVEX_VERSION},
                 {"job", JobName(kind)},
                 {"ports", ports}};
  if (image != nullptr) {
    AddImageIdentity(record, *image);
  }
  return record;
}

Json EndRecord(const PortResult& port, JobKind kind) {
  const bool ok = port.outcome == Goal(kind);
  return {
      {"record", "end"},
      {"t_ms",
       std::chrono::duration_cast<std::chrono::milliseconds>(port.ended - port.started).count()},
      {"port", port.port},
      {"outcome", OutcomeWord(port, kind)},
      {"reason", ok ? Json() : Json(Reason(port))},
      {"frames_sent", port.sent.frames},
      {"bytes_sent", port.sent.bytes}};
}

OsError TraceWriter::Open(const std::string& path) {
  path_ = path;
  errno = 0;
  // Binary: one "\n" per line on every platform, as JSON-lines readers expect.
  file_.open(PathFromUtf8(path), std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file_) {
    const int code = errno != 0 ? errno : EIO;
    return OsError{std::error_code(code, std::generic_category()), {}};
  }
  return {};
}

bool OpenTrace(const std::string& path, std::unique_ptr<TraceWriter>& trace, std::ostream& err) {
  if (path.empty()) {
    return true;
  }
  trace = std::make_unique<TraceWriter>();
  if (const OsError error = trace->Open(path)) {
    err << "tarvex-cli: cannot write the trace file " << path << ": " << error.Message() << '\n';
    trace.reset();
    return false;
  }
  return true;
}

void TraceWriter::Write(const Json& record) {
  const auto line = JsonLine(record);
  std::lock_guard lock(mutex_);
  errno = 0;
  file_ << line << '\n';
  file_.flush();
  if (!file_ && !failure_) {
    const int code = errno != 0 ? errno : EIO;
    failure_ = OsError{std::error_code(code, std::generic_category()), {}};
  }
}

bool TraceWriter::Kept(std::ostream& err) {
  std::lock_guard lock(mutex_);
  if (!failure_) {
    return true;
  }
  err << "tarvex-cli: cannot write the trace file " << path_ << ": " << failure_.Message() << '\n';
  return false;
}

}  // namespace tarvex::cli
