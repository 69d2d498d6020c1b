// What the fixture runner listens on: a pseudo-terminal's master, or a serial port of its own
// wired to the sender's. Either way it reads what arrived and says at which settings.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/serial_reader.h"
#include "protocol/line_settings.h"
#include "sim/pty_line.h"
#include "sim/settings_attribution.h"

namespace tarvex {

struct LineRead {
  ReceivedBytes received;
  // The settings the bytes arrived at; baud 0 when the line cannot tell (not checked).
  LineSettings settings;
  int error = 0;  // errno of a failed read; 0 on bytes or time-out
  // The earliest the bytes can have been sent, when they may have waited unread.
  std::optional<std::chrono::steady_clock::time_point> writtenFrom;
};

class FixtureLine {
 public:
  virtual ~FixtureLine() = default;
  // Waits up to `timeout` for bytes; what came (nothing on a time-out).
  virtual LineRead Read(std::chrono::milliseconds timeout) = 0;
  // The settings the next frame is due at. A port switches its receiver to them before the frame
  // comes; a pseudo-terminal has no receiver to switch.
  virtual void Expect(const LineSettings& settings) = 0;
};

// The settings the sender wrote the bytes at, as a pseudo-terminal shows them (even parity looks
// like none), or unknown where a change of settings may fall among them; no byte is ever marked.
class PtyFixtureLine final : public FixtureLine {
 public:
  explicit PtyFixtureLine(PtyLine& line);
  LineRead Read(std::chrono::milliseconds timeout) override;
  void Expect(const LineSettings& /*settings*/) override {}

 private:
  PtyLine& line_;
  SettingsAttribution attribution_;
  std::vector<std::uint8_t> buffer_;
};

// A port of our own: the bytes that arrived clean at the receiver's settings were sent at them,
// as far as a UART can tell; those that did not arrive marked. On a pseudo-terminal linked to the
// sender (socat) nothing is checked, and the settings are reported as unknown.
class PortFixtureLine final : public FixtureLine {
 public:
  // `reader` is open.
  explicit PortFixtureLine(SerialReader& reader) : reader_(reader) {}
  LineRead Read(std::chrono::milliseconds timeout) override;
  void Expect(const LineSettings& settings) override;

 private:
  SerialReader& reader_;
};

}  // namespace tarvex
