#include "link/serial_link.h"

#include <cerrno>
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
    KeepError(OsError{EBUSY, "a port is already open: close it first"});
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
    KeepError(OsError{error.code().value(), error.what()});
    return false;
  }
  return true;
}

std::uint32_t SerialLink::WriteComm(const std::uint8_t* bytes, std::uint32_t length) {
  std::lock_guard write(writeMutex_);
  if (!open_) {
    KeepError(OsError{EBADF, "the port is not open"});
    return 0;
  }
  const std::uint32_t written = backend_->Write(bytes, length, WriteTimeout(length));
  if (written < length) {
    KeepError(backend_->LastError());
  }
  return written;
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
