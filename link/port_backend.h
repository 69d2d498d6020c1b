// The OS seam below SerialLink: one port at a time, primitives only. What a write means (the
// queue drained, at least the frame's wire time, unsent bytes dropped after a time-out) is
// decided once, in SerialLink.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/os_error.h"
#include "protocol/line_settings.h"

namespace tarvex {

enum class PortEvent {
  Received,   // a character arrived (or was already waiting)
  Cancelled,  // CancelWaits() was called
  Error,      // the port failed or hung up
};

enum class WaitEnd {
  Done,       // what was waited for happened
  TimedOut,   // the deadline passed first
  Cancelled,  // CancelWaits() was called
  Failed,     // the port failed; LastError() says why
};

struct HandOver {
  std::uint32_t accepted = 0;  // bytes the driver took
  WaitEnd end = WaitEnd::Done;
  // A clock read taken just after the driver first took bytes (none when it took none). The
  // frame cannot have begun to leave later than this, so its wire time counted from here never
  // ends early, however long the writing thread was held up before the write.
  std::optional<std::chrono::steady_clock::time_point> taken = std::nullopt;
};

// StartWrite(), OutputQueued(), DiscardOutput() and SleepUntil() run on the writing thread,
// WaitEvent() on the receive watcher, CancelWaits() on whichever thread closes; an
// implementation must allow these to overlap.
class PortBackend {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~PortBackend() = default;

  // The device a port-list name stands for ("COM1" -> "/dev/ttyS0" or "\\.\COM1").
  virtual std::string DeviceFor(const std::string& portName) const = 0;

  // Opens the device exclusively, applies `settings` (8 data bits, raw, no flow control, RTS
  // off, DTR untouched) and discards both queues. On failure nothing stays open and
  // LastError() says why.
  virtual bool Open(const std::string& portName, const LineSettings& settings) = 0;

  // Hands the bytes to the driver: returns once it has taken all of them (Done), or with what
  // it took when the deadline passes, the waits are cancelled or the port fails. A driver that
  // gives up on its own write time-out reports TimedOut.
  virtual HandOver StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                              Clock::time_point deadline) = 0;

  // Bytes handed over that have not left yet; 0 when the driver cannot tell.
  virtual std::int64_t OutputQueued() = 0;

  // Drops what has not left yet.
  virtual void DiscardOutput() = 0;

  // Sleeps until `until`, never returning early; false when the waits were cancelled. The timer
  // must be fine-grained: the pace of a download depends on it.
  virtual bool SleepUntil(Clock::time_point until) = 0;

  // Received bytes waiting in the driver queue; negative when the port cannot tell.
  virtual std::int64_t BytesWaiting() = 0;

  // Sleeps until a character arrives, the port fails, or the wait is cancelled. After
  // CancelWaits() every wait (this one, a StartWrite() or a SleepUntil() in progress) ends at
  // once until the next Open().
  virtual PortEvent WaitEvent() = 0;
  virtual void CancelWaits() = 0;

  virtual void Close() = 0;

  virtual OsError LastError() const = 0;
};

// The backend of the platform this was built for (termios2 on Linux, overlapped I/O on Windows).
std::unique_ptr<PortBackend> MakeNativePortBackend();

}  // namespace tarvex
