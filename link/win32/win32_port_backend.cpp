// The Windows backend: one device handle with overlapped I/O. Writes and the receive watcher
// each have an overlapped record of their own; a cancel event, set by the close sequence, ends
// every wait at once, and clearing the port's event mask ends a pending WaitCommEvent.
#include <windows.h>

#include <algorithm>
#include <mutex>

#include "link/port_backend.h"
#include "link/port_list.h"
#include "link/win32/comm_open.h"
#include "link/win32/dcb_settings.h"
#include "link/win32/win32_error.h"
#include "platform/precise_timer.h"

namespace tarvex {

namespace {

constexpr DWORD QUEUE_BYTES = 1024;  // driver receive and transmit queues
constexpr DWORD WRITE_TIMEOUT_BASE_MS = 2000;
constexpr DWORD WRITE_TIMEOUT_PER_BYTE_MS = 50;
constexpr DWORD PURGE_ALL = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// A read returns at once with what has arrived; a write of n bytes gives up after
// 2000 + 50·n ms.
COMMTIMEOUTS PortTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = WRITE_TIMEOUT_PER_BYTE_MS;
  timeouts.WriteTotalTimeoutConstant = WRITE_TIMEOUT_BASE_MS;
  return timeouts;
}

// Drivers end a write at their time-out either with TRUE and a short count or with FALSE and
// one of these.
bool IsTimeOut(DWORD error) {
  return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT;
}

DWORD MillisecondsUntil(PortBackend::Clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - PortBackend::Clock::now()).count();
  return static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
}

class Win32PortBackend final : public PortBackend {
 public:
  Win32PortBackend()
      : cancel_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        writeDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        watchDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32PortBackend() override {
    Close();
    for (HANDLE event : {cancel_, writeDone_, watchDone_}) {
      if (event != nullptr) {
        CloseHandle(event);
      }
    }
  }
  Win32PortBackend(const Win32PortBackend&) = delete;
  Win32PortBackend& operator=(const Win32PortBackend&) = delete;

  std::string DeviceFor(const std::string& portName) const override {
    return DeviceForPortName(portName);
  }

  bool Open(const std::string& portName, const LineSettings& settings) override;
  HandOver StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                      Clock::time_point deadline) override;
  std::int64_t OutputQueued() override;
  void DiscardOutput() override { PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR); }
  bool SleepUntil(Clock::time_point until) override {
    return !win32::WaitUntilOrSignalled(cancel_, until);
  }
  std::int64_t BytesWaiting() override;
  PortEvent WaitEvent() override;
  void CancelWaits() override;
  void Close() override;

  OsError LastError() const override {
    std::lock_guard lock(errorMutex_);
    return lastError_;
  }

 private:
  bool Cancelled() const { return WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0; }
  HandOver FinishWrite(std::uint32_t length, Clock::time_point deadline);
  void KeepError(const OsError& error) {
    std::lock_guard lock(errorMutex_);
    lastError_ = error;
  }
  bool FailOpen(const OsError& error, HANDLE opened) {
    if (opened != INVALID_HANDLE_VALUE) {
      CloseHandle(opened);
    }
    KeepError(error);
    return false;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE cancel_;     // set by CancelWaits(), reset by Open()
  HANDLE writeDone_;  // the event of the one overlapped record every write uses
  HANDLE watchDone_;  // the event of the receive watcher's own record
  OVERLAPPED writeOverlapped_{};
  mutable std::mutex errorMutex_;
  OsError lastError_;
};

bool Win32PortBackend::Open(const std::string& portName, const LineSettings& settings) {
  KeepError(OsError{});
  if (cancel_ == nullptr || writeDone_ == nullptr || watchDone_ == nullptr) {
    return FailOpen(win32::PortError(ERROR_NOT_ENOUGH_MEMORY), INVALID_HANDLE_VALUE);
  }
  if (port_ != INVALID_HANDLE_VALUE) {
    return FailOpen(win32::OpenError(ERROR_BUSY), INVALID_HANDLE_VALUE);
  }
  OsError failed;
  const HANDLE port = win32::OpenCommPort(portName, failed);
  if (port == INVALID_HANDLE_VALUE) {
    return FailOpen(failed, INVALID_HANDLE_VALUE);
  }
  SetupComm(port, QUEUE_BYTES, QUEUE_BYTES);
  SetCommMask(port, EV_RXCHAR);
  COMMTIMEOUTS timeouts = PortTimeouts();
  SetCommTimeouts(port, &timeouts);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  win32::ApplyLineSettings(dcb, settings);
  if (!SetCommState(port, &dcb)) {
    return FailOpen(win32::SettingsError(GetLastError()), port);
  }
  // Anything that arrived before this open, or is still pending from an earlier one, is stale.
  PurgeComm(port, PURGE_ALL);
  ResetEvent(cancel_);
  port_ = port;
  return true;
}

HandOver Win32PortBackend::StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                                      Clock::time_point deadline) {
  KeepError(OsError{});
  DWORD errors = 0;
  ClearCommError(port_, &errors, nullptr);  // a pending line error would stall the write
  writeOverlapped_ = OVERLAPPED{};
  writeOverlapped_.hEvent = writeDone_;
  ResetEvent(writeDone_);
  DWORD written = 0;
  const BOOL done = WriteFile(port_, bytes, length, &written, &writeOverlapped_);
  // The driver has the bytes once WriteFile returns, done or pending.
  const Clock::time_point taken = Clock::now();
  if (done) {
    return HandOver{written, written == length ? WaitEnd::Done : WaitEnd::TimedOut,
                    written > 0 ? std::optional(taken) : std::nullopt};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    HandOver handed = FinishWrite(length, deadline);
    if (handed.accepted > 0) {
      handed.taken = taken;
    }
    return handed;
  }
  if (IsTimeOut(error)) {
    return HandOver{0, WaitEnd::TimedOut};
  }
  KeepError(win32::PortError(error));
  return HandOver{0, WaitEnd::Failed};
}

// Waits for a pending write. A cancel or our own deadline cuts it short; the record stays in
// use until the driver has finished with it, so the count is read after every outcome.
HandOver Win32PortBackend::FinishWrite(std::uint32_t length, Clock::time_point deadline) {
  HANDLE waits[2] = {writeDone_, cancel_};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, MillisecondsUntil(deadline));
  WaitEnd cut = WaitEnd::Done;
  if (woke != WAIT_OBJECT_0) {
    cut = woke == WAIT_OBJECT_0 + 1 ? WaitEnd::Cancelled : WaitEnd::TimedOut;
    CancelIoEx(port_, &writeOverlapped_);
  }
  DWORD written = 0;
  const BOOL finished = GetOverlappedResult(port_, &writeOverlapped_, &written, TRUE);
  const DWORD error = finished ? ERROR_SUCCESS : GetLastError();
  if (cut != WaitEnd::Done) {
    return HandOver{written, cut};
  }
  if (finished) {
    return HandOver{written, written == length ? WaitEnd::Done : WaitEnd::TimedOut};
  }
  if (IsTimeOut(error)) {
    return HandOver{written, WaitEnd::TimedOut};
  }
  KeepError(win32::PortError(error));
  return HandOver{written, WaitEnd::Failed};
}

std::int64_t Win32PortBackend::OutputQueued() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_, &errors, &status)) {
    return 0;
  }
  return status.cbOutQue;
}

std::int64_t Win32PortBackend::BytesWaiting() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_, &errors, &status)) {
    return -1;
  }
  return status.cbInQue;
}

PortEvent Win32PortBackend::WaitEvent() {
  OVERLAPPED overlapped{};
  overlapped.hEvent = watchDone_;
  ResetEvent(watchDone_);
  DWORD events = 0;
  if (WaitCommEvent(port_, &events, &overlapped)) {
    return PortEvent::Received;
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    // Also how a wait begun after the close cleared the event mask ends.
    return Cancelled() ? PortEvent::Cancelled : PortEvent::Error;
  }
  HANDLE waits[2] = {watchDone_, cancel_};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    CancelIoEx(port_, &overlapped);
  }
  DWORD unused = 0;
  GetOverlappedResult(port_, &overlapped, &unused, TRUE);  // the record lives on this stack
  return Cancelled() ? PortEvent::Cancelled : PortEvent::Received;
}

void Win32PortBackend::CancelWaits() {
  SetEvent(cancel_);
  if (port_ != INVALID_HANDLE_VALUE) {
    SetCommMask(port_, 0);  // ends a pending WaitCommEvent
  }
}

void Win32PortBackend::Close() {
  if (port_ == INVALID_HANDLE_VALUE) {
    return;
  }
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
}

}  // namespace

std::unique_ptr<PortBackend> MakeNativePortBackend() {
  return std::make_unique<Win32PortBackend>();
}

}  // namespace tarvex
