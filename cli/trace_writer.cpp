#include "cli/trace_writer.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include "cli/json_writer.h"
#include "image/utf8_path.h"

namespace tarvex::cli {

namespace {

const char* ParityName(std::uint8_t parity) {
  switch (parity) {
    case PARITY_CODE_ODD:
      return "odd";
    case PARITY_CODE_EVEN:
      return "even";
    default:
      return "none";
  }
}

}  // namespace

std::string TraceLine(const std::string& port, const TraceEvent& event) {
  std::ostringstream line;
  JsonWriter json(line);
  json.BeginObject()
      .Key("t_ms")
      .Int(event.sinceStart.count())
      .Key("port")
      .String(port)
      .Key("state")
      .UInt(event.state)
      .Key("frame")
      .String(event.frame)
      .Key("length")
      .UInt(event.length)
      .Key("settings")
      .String(Describe(event.settings))
      .Key("baud")
      .UInt(event.settings.baud)
      .Key("parity")
      .String(ParityName(event.settings.parity))
      .Key("stop_bits")
      .UInt(event.settings.stopBits)
      .Key("written")
      .UInt(event.written)
      .EndObject();
  return line.str();
}

OsError TraceWriter::Open(const std::string& path) {
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

void TraceWriter::Write(const std::string& port, const TraceEvent& event) {
  const auto line = TraceLine(port, event);
  std::lock_guard lock(mutex_);
  file_ << line << '\n';
  file_.flush();
}

}  // namespace tarvex::cli
