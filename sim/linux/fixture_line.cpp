#include "sim/fixture_line.h"

#include <memory>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "sim/fixture_runner.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t PTY_READ_SIZE = 4096;  // bytes; more than a pseudo-terminal holds

// Unknown (baud 0) when the settings cannot be read, or when later changes would go unreported.
LineSettings SeenSettings(const PtyLine& line) {
  PtyLineSettings pty;
  if (!line.Settings(pty) || !pty.changesReported) {
    return {};
  }
  return {pty.baud, pty.parity == PtyParity::Odd ? PARITY_CODE_ODD : PARITY_CODE_NONE,
          pty.stopBits};
}

}  // namespace

PtyFixtureLine::PtyFixtureLine(PtyLine& line) : line_(line), buffer_(PTY_READ_SIZE) {
  // Whatever is already waiting was written at settings this line never saw.
  attribution_.Changed(SeenSettings(line_));
}

// Reads on without waiting until the line is found empty, so that each read's bytes are decided
// by the read after them.
LineRead PtyFixtureLine::Read(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  LineRead read;
  for (;;) {
    if (std::optional<AttributedBytes> decided = attribution_.Take()) {
      read.received.bytes = std::move(decided->bytes);
      read.settings = decided->settings;
      read.writtenFrom = decided->writtenFrom;
      return read;
    }
    const Clock::time_point asked = Clock::now();  // no later than an empty line is seen
    const PtyPacket packet = line_.ReadPacket(buffer_.data(), buffer_.size());
    switch (packet.event) {
      case PtyEvent::Bytes:
        attribution_.Bytes({buffer_.data(), packet.size});
        break;
      case PtyEvent::SettingsChanged:
        attribution_.Changed(SeenSettings(line_));
        break;
      case PtyEvent::Nothing:
        attribution_.Empty(asked);
        if (!attribution_.Ready() &&
            !line_.WaitReadable(std::chrono::ceil<std::chrono::milliseconds>(
                std::max(deadline - Clock::now(), Clock::duration{0})))) {
          return read;
        }
        break;
      case PtyEvent::Failed:
        read.error = packet.error;
        return read;
      case PtyEvent::Other:
        break;
    }
  }
}

FixtureRunner::FixtureRunner(PtyLine& line, RunnerOptions options)
    : ownLine_(std::make_unique<PtyFixtureLine>(line)),
      line_(*ownLine_),
      options_(options),
      fixture_(options.fixture) {}

}  // namespace tarvex
