#include <cerrno>

#include "sim/fixture_line.h"

namespace tarvex {

LineRead PortFixtureLine::Read(std::chrono::milliseconds timeout) {
  LineRead read;
  read.settings = reader_.ChecksLine() ? reader_.Settings() : LineSettings{};
  if (!reader_.Read(timeout, read.received)) {
    const std::error_code code = reader_.LastError().code;
    read.error = code ? code.value() : EIO;
  }
  return read;
}

void PortFixtureLine::Expect(const LineSettings& settings) {
  // A receiver that cannot switch keeps its settings; what then arrives shows up marked.
  reader_.Apply(settings);
}

}  // namespace tarvex
