// A port backend for tests: records every open and write with the line settings in force and
// when it happened, and can be told to fail opens, fail or shorten writes, and report received
// bytes. Thread-safe; WaitEvent() sleeps until bytes are reported or the wait is cancelled.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "platform/os_error.h"
#include "protocol/line_settings.h"

namespace tarvex::test {

using FakeClock = std::chrono::steady_clock;

struct FakeOpen {
  std::string portName;
  LineSettings settings;
  bool ok = false;
};

struct FakeWrite {
  std::vector<std::uint8_t> bytes;        // what was asked to go out
  std::uint32_t written = 0;              // what the fake reported
  LineSettings settings;                  // in force
  FakeClock::duration at{};               // when the write began, since the port was made
  std::chrono::microseconds wireTime{0};  // its time on the wire at these settings
};

// The port that a test scripts and inspects; it outlives the backend that a job owns.
class FakePort : public std::enable_shared_from_this<FakePort> {
 public:
  static std::shared_ptr<FakePort> Make();

  // A backend for a job; all backends of one port share its state.
  std::unique_ptr<PortBackend> MakeBackend();

  // --- Script. Opens and writes are numbered from 0 in the order they are attempted.
  // Opens number [first, first + count) fail with `error`.
  void FailOpens(std::size_t first, std::size_t count, OsError error = BusyError());
  void FailAllOpens(OsError error = BusyError());
  // Writes number [first, first + count) report `written` bytes (0: nothing) and `error`.
  void FailWrites(std::size_t first, std::size_t count, std::uint32_t written = 0,
                  OsError error = IoError());
  // Every sleep of the link (a write's wire time) lasts its length times `scale` (0, the
  // default: writes take no time).
  void SetWireTimeScale(double scale);
  // Every write waits this long on the writing thread before the driver takes its bytes, as a
  // thread preempted just before its write call would.
  void SetHandOverDelay(std::chrono::nanoseconds delay);
  // Called on the writing thread after a write was recorded, before it returns, without the
  // port's lock: a test can block a write there, or change the world in the middle of a job.
  void SetWriteHook(std::function<void(std::size_t index, const FakeWrite& write)> hook);
  // Called on the opening thread before an open is decided, without the port's lock.
  void SetOpenHook(std::function<void(std::size_t index, const LineSettings& settings)> hook);
  // Bytes arrive from the device: they wait in the driver queue until the next open.
  void ReportReceived(std::int64_t count);

  // --- Inspection.
  std::vector<FakeOpen> Opens() const;
  std::vector<FakeWrite> Writes() const;
  std::size_t WriteCount() const;
  bool IsOpen() const;
  std::size_t Closes() const;
  std::size_t WritesWhileClosed() const;  // attempts on a closed port (they write nothing)
  std::size_t OpensWhileOpen() const;     // attempts to open it twice (refused)
  std::size_t WaitersNow() const;         // threads sleeping in WaitEvent()
  // Waits until the predicate holds for the writes so far; false at the time-out.
  bool WaitForWrites(const std::function<bool(const std::vector<FakeWrite>&)>& done,
                     std::chrono::milliseconds timeout = std::chrono::seconds{20}) const;

  // Time since the port was made, as FakeWrite::at counts it.
  FakeClock::duration Elapsed() const { return FakeClock::now() - made_; }

  static OsError BusyError();
  static OsError IoError();

 private:
  friend class FakePortBackend;
  FakePort() = default;

  bool Open(const std::string& portName, const LineSettings& settings);
  std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length);
  void HoldUpHandOver();
  bool SleepUntil(FakeClock::time_point until);
  std::int64_t BytesWaiting();
  PortEvent WaitEvent();
  void CancelWaits();
  void Close();
  OsError LastError() const;

  struct Failure {
    std::size_t first = 0;
    std::size_t count = 0;
    std::uint32_t written = 0;
    OsError error;
    bool Covers(std::size_t index) const { return index >= first && index - first < count; }
  };

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  const FakeClock::time_point made_ = FakeClock::now();
  std::vector<FakeOpen> opens_;
  std::vector<FakeWrite> writes_;
  std::vector<Failure> openFailures_;
  std::vector<Failure> writeFailures_;
  std::function<void(std::size_t, const FakeWrite&)> writeHook_;
  std::function<void(std::size_t, const LineSettings&)> openHook_;
  double wireTimeScale_ = 0.0;
  std::chrono::nanoseconds handOverDelay_{0};
  bool open_ = false;
  bool cancelled_ = false;
  LineSettings settings_;
  std::int64_t bytesWaiting_ = 0;
  std::size_t closes_ = 0;
  std::size_t writesWhileClosed_ = 0;
  std::size_t opensWhileOpen_ = 0;
  std::size_t waiters_ = 0;
  std::size_t openAttempts_ = 0;
  OsError lastError_;
};

}  // namespace tarvex::test
