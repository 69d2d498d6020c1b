// The OS seam below SerialLink: one port at a time, raw I/O only, no policy.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/line_settings.h"
#include "link/os_error.h"

namespace tarvex {

enum class PortEvent {
  Received,   // a character arrived (or was already waiting)
  Cancelled,  // CancelWaits() was called
  Error,      // the port failed or hung up
};

// Write() runs on the pacing worker, WaitEvent() on the receive watcher, CancelWaits() on
// whichever thread closes; an implementation must allow these three to overlap.
class PortBackend {
 public:
  virtual ~PortBackend() = default;

  // The device a port-list name stands for ("COM1" -> "/dev/ttyS0"; a path stays as it is).
  virtual std::string DeviceFor(const std::string& portName) const = 0;

  // Opens the device exclusively, applies `settings` (8 data bits, raw, no flow control, RTS
  // off, DTR untouched) and discards both queues. On failure nothing stays open and
  // LastError() says why.
  virtual bool Open(const std::string& portName, const LineSettings& settings) = 0;

  // Returns once the bytes have left the line (queue drained and at least their wire time since
  // the call began) or at `timeout`; the count written, 0 when nothing could be written.
  virtual std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length,
                              std::chrono::milliseconds timeout) = 0;

  // Received bytes waiting in the driver queue; negative when the port cannot tell.
  virtual std::int64_t BytesWaiting() = 0;

  // Sleeps until a character arrives, the port fails, or the wait is cancelled. After
  // CancelWaits() every wait ends at once until the next Open(); that includes the waits of a
  // Write() in progress, which then returns what it wrote so far.
  virtual PortEvent WaitEvent() = 0;
  virtual void CancelWaits() = 0;

  virtual void Close() = 0;

  virtual OsError LastError() const = 0;
};

// The backend of the platform this was built for (termios2 on Linux, overlapped I/O on Windows).
std::unique_ptr<PortBackend> MakeNativePortBackend();

}  // namespace tarvex
