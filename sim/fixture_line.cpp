#include "sim/fixture_line.h"

#include <cerrno>

namespace tarvex {

namespace {

constexpr std::size_t PTY_READ_SIZE = 4096;  // bytes; more than a pseudo-terminal holds

LineSettings SeenSettings(const PtyLine& line) {
  PtyLineSettings pty;
  if (!line.Settings(pty)) {
    return {};  // baud 0: unknown, not checked
  }
  return {pty.baud, pty.parity == PtyParity::Odd ? PARITY_CODE_ODD : PARITY_CODE_NONE,
          pty.stopBits};
}

}  // namespace

LineRead PtyFixtureLine::Read(std::chrono::milliseconds timeout) {
  LineRead read;
  read.received.bytes.resize(PTY_READ_SIZE);
  const long got = line_.Read(read.received.bytes.data(), PTY_READ_SIZE, timeout);
  read.received.bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  read.error = got < 0 ? static_cast<int>(-got) : 0;
  // Taken right after the read, before the sender can re-open at other settings: the pacing
  // keeps every re-open well after the last frame at the old settings.
  read.settings = SeenSettings(line_);
  return read;
}

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
