// The fixture's reader on Windows: an overlapped handle whose reads return at once with what has
// arrived, a receive event (WaitCommEvent) for the waits, and the error flags of ClearCommError
// added up into counts. Windows does not say which byte came with an error, so none is marked.
#include "link/serial_reader.h"

#include <windows.h>

#include <array>

#include "link/win32/comm_errors.h"
#include "link/win32/comm_open.h"
#include "link/win32/dcb_settings.h"
#include "link/win32/win32_error.h"

namespace tarvex {

namespace {

constexpr DWORD QUEUE_BYTES = 4096;  // the driver's receive queue
constexpr DWORD RAW_CHUNK = 4096;    // bytes per ReadFile
constexpr DWORD RECEIVE_EVENTS = EV_RXCHAR | EV_ERR | EV_BREAK;

// Wine hands a COM port to a Unix tty and reports none of its line errors; the tty may even be a
// pseudo-terminal. Only its ntdll exports this.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32SerialReader final : public SerialReader {
 public:
  Win32SerialReader() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32SerialReader() override {
    Close();
    if (done_ != nullptr) {
      CloseHandle(done_);
    }
  }
  Win32SerialReader(const Win32SerialReader&) = delete;
  Win32SerialReader& operator=(const Win32SerialReader&) = delete;

  bool Open(const std::string& portName, const LineSettings& settings) override;
  bool Apply(const LineSettings& settings) override;
  LineSettings Settings() const override { return settings_; }
  bool Read(std::chrono::milliseconds timeout, ReceivedBytes& received) override;
  void DiscardInput() override;
  bool ChecksLine() const override { return checksLine_; }
  std::optional<LineErrorCounts> ErrorCounts() const override;
  void Close() override;
  OsError LastError() const override { return lastError_; }

 private:
  bool Fail(const OsError& error) {
    lastError_ = error;
    return false;
  }
  bool FailOpen(const OsError& error) {
    Close();
    return Fail(error);
  }
  // What waits unread, with the errors reported since the last look added to the counts; -1
  // when the port failed.
  std::int64_t Waiting() const;
  // Until a byte or an error comes, or `timeout` passes.
  bool WaitForInput(std::chrono::milliseconds timeout);
  // The overlapped operation on `overlapped_` was started: its outcome, at once.
  bool Finish(DWORD& transferred);

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE done_;
  OVERLAPPED overlapped_{};
  LineSettings settings_;
  bool checksLine_ = false;
  mutable LineErrorCounts counts_;
  OsError lastError_;
};

bool Win32SerialReader::Open(const std::string& portName, const LineSettings& settings) {
  lastError_ = {};
  if (done_ == nullptr) {
    return Fail(win32::PortError(ERROR_NOT_ENOUGH_MEMORY));
  }
  if (port_ != INVALID_HANDLE_VALUE) {
    return Fail(win32::OpenError(ERROR_BUSY));
  }
  port_ = win32::OpenCommPort(portName, lastError_);
  if (port_ == INVALID_HANDLE_VALUE) {
    return false;
  }
  // Reads take what has arrived and return at once; the waits are WaitForInput's.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!SetupComm(port_, QUEUE_BYTES, QUEUE_BYTES) || !SetCommTimeouts(port_, &timeouts) ||
      !SetCommMask(port_, RECEIVE_EVENTS)) {
    return FailOpen(win32::PortError(GetLastError()));
  }
  if (!Apply(settings)) {
    return FailOpen(lastError_);
  }
  DiscardInput();
  checksLine_ = !UnderWine();
  counts_ = {};
  return true;
}

bool Win32SerialReader::Apply(const LineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port_, &dcb);  // Wine cannot always read a tty's state back; the fields we set do
  win32::ApplyLineSettings(dcb, settings);
  if (!SetCommState(port_, &dcb)) {
    return Fail(win32::SettingsError(GetLastError()));
  }
  settings_ = settings;
  return true;
}

std::int64_t Win32SerialReader::Waiting() const {
  DWORD flags = 0;
  COMSTAT status{};
  if (!ClearCommError(port_, &flags, &status)) {
    return -1;
  }
  counts_ += win32::CountCommErrors(flags);
  return status.cbInQue;
}

bool Win32SerialReader::Finish(DWORD& transferred) {
  if (GetOverlappedResult(port_, &overlapped_, &transferred, TRUE)) {
    return true;
  }
  const DWORD error = GetLastError();
  return error == ERROR_OPERATION_ABORTED || Fail(win32::PortError(error));
}

bool Win32SerialReader::WaitForInput(std::chrono::milliseconds timeout) {
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = done_;
  ResetEvent(done_);
  DWORD events = 0;
  if (WaitCommEvent(port_, &events, &overlapped_)) {
    return true;
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    return Fail(win32::PortError(GetLastError()));
  }
  // A byte that came between the last look and the start of the wait raises no event.
  const bool alreadyThere = Waiting() > 0;
  if (alreadyThere ||
      WaitForSingleObject(done_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    // Setting the mask anew ends the pending wait (Wine: only an empty mask does).
    SetCommMask(port_, 0);
    SetCommMask(port_, RECEIVE_EVENTS);
  }
  DWORD unused = 0;
  return Finish(unused);  // the record must outlive the wait
}

bool Win32SerialReader::Read(std::chrono::milliseconds timeout, ReceivedBytes& received) {
  std::int64_t waiting = Waiting();
  if (waiting == 0) {
    if (!WaitForInput(timeout)) {
      return false;
    }
    waiting = Waiting();
  }
  if (waiting < 0) {
    return Fail(win32::PortError(GetLastError()));
  }
  if (waiting == 0) {
    return true;
  }
  std::array<std::uint8_t, RAW_CHUNK> raw{};
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = done_;
  ResetEvent(done_);
  DWORD got = 0;
  if (!ReadFile(port_, raw.data(), RAW_CHUNK, &got, &overlapped_)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      return Fail(win32::PortError(GetLastError()));
    }
    if (!Finish(got)) {
      return false;
    }
  }
  received.bytes.insert(received.bytes.end(), raw.begin(), raw.begin() + got);
  return true;
}

void Win32SerialReader::DiscardInput() {
  PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  DWORD dropped = 0;  // the errors of the bytes dropped go with them
  ClearCommError(port_, &dropped, nullptr);
}

std::optional<LineErrorCounts> Win32SerialReader::ErrorCounts() const {
  if (port_ == INVALID_HANDLE_VALUE || !checksLine_) {
    return std::nullopt;
  }
  Waiting();
  return counts_;
}

void Win32SerialReader::Close() {
  if (port_ != INVALID_HANDLE_VALUE) {
    CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
  }
}

}  // namespace

std::unique_ptr<SerialReader> MakeNativeSerialReader() {
  return std::make_unique<Win32SerialReader>();
}

}  // namespace tarvex
