// The fixture's end of a line: a port opened for reading, whose receiver follows the settings
// the next frame is due at, with every byte that came with a framing or parity error marked where
// the driver tells which (Linux; Windows only counts them).
// The downloader never uses it; its link stays write-only.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "protocol/line_settings.h"

namespace tarvex {

// The driver's own counts since the port was opened.
struct LineErrorCounts {
  std::uint64_t framing = 0;
  std::uint64_t parity = 0;
  std::uint64_t overrun = 0;  // bytes lost because they were not read in time
  std::uint64_t breaks = 0;

  std::uint64_t Total() const { return framing + parity + overrun + breaks; }
  LineErrorCounts& operator+=(const LineErrorCounts& more);
  // The counts since `earlier`.
  LineErrorCounts operator-(const LineErrorCounts& earlier) const;
};

// "0 framing, 1 parity, 0 overrun, 0 break(s)"
std::string Describe(const LineErrorCounts& counts);

struct ReceivedBytes {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> marked;  // indices into `bytes` that came with an error, ascending
};

class SerialReader {
 public:
  virtual ~SerialReader() = default;

  // Opens the port exclusively at `settings` (raw, no flow control) and drops what arrived
  // before. On failure nothing stays open and LastError() says why.
  virtual bool Open(const std::string& portName, const LineSettings& settings) = 0;
  // Switches the receiver at once; what has arrived already stays. False on failure.
  virtual bool Apply(const LineSettings& settings) = 0;
  virtual LineSettings Settings() const = 0;

  // Waits up to `timeout` for bytes and appends what has come to `received`: true on bytes or
  // time-out, false when the port failed (LastError() says why).
  virtual bool Read(std::chrono::milliseconds timeout, ReceivedBytes& received) = 0;

  // Drops what has arrived and not been read.
  virtual void DiscardInput() = 0;

  // A pseudo-terminal takes bytes at any settings and never reports an error, and Wine reports
  // none of a port's errors: there the settings prove nothing.
  virtual bool ChecksLine() const = 0;
  // Empty when the driver keeps no counts. On Windows a count is of reports, not bytes: errors
  // that come between two looks count once.
  virtual std::optional<LineErrorCounts> ErrorCounts() const = 0;

  virtual void Close() = 0;
  virtual OsError LastError() const = 0;
};

std::unique_ptr<SerialReader> MakeNativeSerialReader();

}  // namespace tarvex
