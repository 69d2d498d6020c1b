#include "link/serial_link.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace tarvex {

SerialLink::SerialLink(std::unique_ptr<PortBackend> backend) : backend_(std::move(backend)) {}

SerialLink::~SerialLink() {
  CloseCommPort();
}

void SerialLink::SetReceiveNotice(ReceiveNotice notice) {
  std::lock_guard lock(stateMutex_);
  notice_ = std::move(notice);
}

bool SerialLink::OpenCommPort(const std::string& portName, std::uint8_t parity,
                              std::uint32_t baud) {
  std::lock_guard openClose(openCloseMutex_);
  if (open_) {
    // A second open would orphan the first port and its watcher.
    KeepError(
        GenericError(std::errc::device_or_resource_busy, "a port is already open: close it first"));
    return false;
  }
  const LineSettings settings = MakeLineSettings(baud, parity);
  if (!backend_->Open(portName, settings)) {
    KeepError(backend_->LastError());
    return false;
  }
  {
    std::lock_guard lock(stateMutex_);
    settings_ = settings;
    lastError_ = OsError{};
  }
  {
    std::lock_guard write(writeMutex_);
    open_ = true;
  }
  watcherEnded_ = false;
  try {
    watcher_ = std::thread([this] {
      watcherResult_ = CommWatchProc();
      watcherEnded_ = true;
    });
  } catch (const std::system_error& error) {
    std::lock_guard write(writeMutex_);
    backend_->Close();
    open_ = false;
    KeepError(OsError{error.code(), "cannot start the receive watcher"});
    return false;
  }
  return true;
}

std::uint32_t SerialLink::WriteComm(const std::uint8_t* bytes, std::uint32_t length) {
  std::lock_guard write(writeMutex_);
  const Drained drained = WriteLocked(bytes, length);
  backend_->SleepUntil(drained.lineFree);
  return drained.count;
}

SerialLink::Drained SerialLink::WriteDrained(const std::uint8_t* bytes, std::uint32_t length) {
  std::lock_guard write(writeMutex_);
  return WriteLocked(bytes, length);
}

SerialLink::Drained SerialLink::WriteLocked(const std::uint8_t* bytes, std::uint32_t length) {
  if (!open_) {
    KeepError(GenericError(std::errc::bad_file_descriptor, "the port is not open"));
    return {0, Clock::now(), Settings()};
  }
  const LineSettings settings = Settings();
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + WriteTimeout(length);
  const HandOver handed = backend_->StartWrite(bytes, length, deadline);
  std::uint32_t written = handed.accepted;
  WaitEnd end = handed.end;
  if (end == WaitEnd::Done) {
    end = WaitDrained(settings, deadline);
  }
  if (end == WaitEnd::TimedOut) {
    // What is still queued will not have left by the time-out: drop it so that it cannot trail
    // into the next frame, and do not count it.
    const auto unsent =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(backend_->OutputQueued(), 0, written));
    backend_->DiscardOutput();
    written -= unsent;
  }
  Clock::time_point lineFree = Clock::now();
  if (end == WaitEnd::Done || end == WaitEnd::TimedOut) {
    // A USB adapter reports an empty queue while its own buffer still sends. Counted from when
    // the driver took the bytes, not from `start`: a thread held up between the two would
    // otherwise see the line free early.
    const Clock::time_point from = handed.taken.value_or(start);
    lineFree = std::max(lineFree, std::min(from + WireTime(settings, written), deadline));
  }
  if (end != WaitEnd::Done) {
    KeepError(WriteError(end));
  }
  return {written, lineFree, settings};
}

// Sleeps for about the wire time of what is still queued rather than asking the driver to
// drain, which has no time limit.
WaitEnd SerialLink::WaitDrained(const LineSettings& settings, Clock::time_point deadline) {
  constexpr std::chrono::nanoseconds SHORTEST_PAUSE = std::chrono::milliseconds{1};
  for (;;) {
    const std::int64_t queued = backend_->OutputQueued();
    if (queued <= 0) {
      return WaitEnd::Done;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      return WaitEnd::TimedOut;
    }
    const std::chrono::nanoseconds pause = std::max<std::chrono::nanoseconds>(
        WireTime(settings, static_cast<std::uint64_t>(queued)), SHORTEST_PAUSE);
    if (!backend_->SleepUntil(std::min(now + pause, deadline))) {
      return WaitEnd::Cancelled;
    }
  }
}

OsError SerialLink::WriteError(WaitEnd end) const {
  switch (end) {
    case WaitEnd::TimedOut:
      return GenericError(std::errc::timed_out);
    case WaitEnd::Cancelled:
      return GenericError(std::errc::operation_canceled, "the write was stopped");
    case WaitEnd::Failed:
    case WaitEnd::Done:
      break;
  }
  return backend_->LastError();
}

void SerialLink::CloseCommPort() {
  std::lock_guard openClose(openCloseMutex_);
  if (!open_) {
    return;
  }
  StopWaits();
  if (watcher_.joinable()) {
    watcher_.join();
  }
  watcher_ = std::thread();
  std::lock_guard write(writeMutex_);
  backend_->Close();
  open_ = false;
}

void SerialLink::InterruptIo() {
  std::lock_guard openClose(openCloseMutex_);
  if (open_) {
    StopWaits();
  }
}

// Clearing running first makes the watcher end instead of waiting again once its wait is cut.
void SerialLink::StopWaits() {
  running_ = 0;
  receiveGate_.Set();
  backend_->CancelWaits();
}

std::uint32_t SerialLink::CommWatchProc() {
  while (running_ != 0) {
    if (backend_->BytesWaiting() > 0) {
      // Nothing reads the port, so the bytes stay: one notice per opening of the gate.
      receiveGate_.Wait();
      receiveGate_.Reset();
      Notify();
      continue;
    }
    if (backend_->WaitEvent() == PortEvent::Error) {
      return WATCH_FAILED;
    }
  }
  return 0;
}

void SerialLink::Notify() {
  ReceiveNotice notice;
  {
    std::lock_guard lock(stateMutex_);
    notice = notice_;
  }
  if (notice) {
    notice();
  }
}

bool SerialLink::IsOpen() const {
  return open_;
}

LineSettings SerialLink::Settings() const {
  std::lock_guard lock(stateMutex_);
  return settings_;
}

OsError SerialLink::LastError() const {
  std::lock_guard lock(stateMutex_);
  return lastError_;
}

std::optional<std::uint32_t> SerialLink::WatcherResult() const {
  if (!watcherEnded_) {
    return std::nullopt;
  }
  return watcherResult_.load();
}

void SerialLink::KeepError(const OsError& error) {
  std::lock_guard lock(stateMutex_);
  lastError_ = error;
}

}  // namespace tarvex
