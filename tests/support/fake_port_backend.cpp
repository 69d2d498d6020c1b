#include "tests/support/fake_port_backend.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace tarvex::test {

class FakePortBackend : public PortBackend {
 public:
  explicit FakePortBackend(std::shared_ptr<FakePort> port) : port_(std::move(port)) {}

  std::string DeviceFor(const std::string& portName) const override { return portName; }
  bool Open(const std::string& portName, const LineSettings& settings) override {
    return port_->Open(portName, settings);
  }
  HandOver StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                      Clock::time_point /*deadline*/) override {
    port_->HoldUpHandOver();
    const std::uint32_t written = port_->Write(bytes, length);
    const auto taken = written > 0 ? std::optional(Clock::now()) : std::nullopt;
    return HandOver{written, written == length ? WaitEnd::Done : WaitEnd::Failed, taken};
  }
  std::int64_t OutputQueued() override { return 0; }
  void DiscardOutput() override {}
  bool SleepUntil(Clock::time_point until) override { return port_->SleepUntil(until); }
  std::int64_t BytesWaiting() override { return port_->BytesWaiting(); }
  PortEvent WaitEvent() override { return port_->WaitEvent(); }
  void CancelWaits() override { port_->CancelWaits(); }
  void Close() override { port_->Close(); }
  OsError LastError() const override { return port_->LastError(); }

 private:
  std::shared_ptr<FakePort> port_;
};

std::shared_ptr<FakePort> FakePort::Make() {
  return std::shared_ptr<FakePort>(new FakePort());
}

std::unique_ptr<PortBackend> FakePort::MakeBackend() {
  // The port lives as long as the test's handle or the backend, whichever is longer.
  return std::make_unique<FakePortBackend>(shared_from_this());
}

OsError FakePort::BusyError() {
  return GenericError(std::errc::device_or_resource_busy);
}

OsError FakePort::IoError() {
  return GenericError(std::errc::io_error);
}

void FakePort::FailOpens(std::size_t first, std::size_t count, OsError error) {
  std::lock_guard lock(mutex_);
  openFailures_.push_back(Failure{first, count, 0, std::move(error)});
}

void FakePort::FailAllOpens(OsError error) {
  FailOpens(0, static_cast<std::size_t>(-1), std::move(error));
}

void FakePort::FailWrites(std::size_t first, std::size_t count, std::uint32_t written,
                          OsError error) {
  std::lock_guard lock(mutex_);
  writeFailures_.push_back(Failure{first, count, written, std::move(error)});
}

void FakePort::SetWireTimeScale(double scale) {
  std::lock_guard lock(mutex_);
  wireTimeScale_ = scale;
}

void FakePort::SetHandOverDelay(std::chrono::nanoseconds delay) {
  std::lock_guard lock(mutex_);
  handOverDelay_ = delay;
}

void FakePort::HoldUpHandOver() {
  std::chrono::nanoseconds delay{0};
  {
    std::lock_guard lock(mutex_);
    delay = handOverDelay_;
  }
  if (delay.count() > 0) {
    std::this_thread::sleep_for(delay);
  }
}

void FakePort::SetWriteHook(std::function<void(std::size_t, const FakeWrite&)> hook) {
  std::lock_guard lock(mutex_);
  writeHook_ = std::move(hook);
}

void FakePort::SetOpenHook(std::function<void(std::size_t, const LineSettings&)> hook) {
  std::lock_guard lock(mutex_);
  openHook_ = std::move(hook);
}

void FakePort::ReportReceived(std::int64_t count) {
  {
    std::lock_guard lock(mutex_);
    bytesWaiting_ += count;
  }
  changed_.notify_all();
}

bool FakePort::Open(const std::string& portName, const LineSettings& settings) {
  std::function<void(std::size_t, const LineSettings&)> hook;
  std::size_t index = 0;
  {
    std::lock_guard lock(mutex_);
    index = openAttempts_++;
    hook = openHook_;
  }
  if (hook) {
    hook(index, settings);
  }
  std::lock_guard lock(mutex_);
  FakeOpen record{portName, settings, false};
  if (open_) {
    ++opensWhileOpen_;
    lastError_ = BusyError();
  } else if (auto failure = std::find_if(openFailures_.begin(), openFailures_.end(),
                                         [&](const Failure& f) { return f.Covers(index); });
             failure != openFailures_.end()) {
    lastError_ = failure->error;
  } else {
    record.ok = true;
    open_ = true;
    cancelled_ = false;
    bytesWaiting_ = 0;  // both queues are discarded at open
    settings_ = settings;
  }
  opens_.push_back(record);
  changed_.notify_all();
  return record.ok;
}

std::uint32_t FakePort::Write(const std::uint8_t* bytes, std::uint32_t length) {
  std::function<void(std::size_t, const FakeWrite&)> hook;
  std::size_t index = 0;
  FakeWrite write;
  {
    std::lock_guard lock(mutex_);
    if (!open_) {
      ++writesWhileClosed_;
      lastError_ = GenericError(std::errc::bad_file_descriptor);
      return 0;
    }
    index = writes_.size();
    write.bytes.assign(bytes, bytes + length);
    write.written = length;
    write.settings = settings_;
    write.at = FakeClock::now() - made_;
    write.wireTime = WireTime(settings_, length);
    for (const Failure& failure : writeFailures_) {
      if (failure.Covers(index)) {
        write.written = std::min(failure.written, length);
        lastError_ = failure.error;
      }
    }
    writes_.push_back(write);
    hook = writeHook_;
  }
  changed_.notify_all();
  if (hook) {
    hook(index, write);
  }
  return write.written;
}

bool FakePort::SleepUntil(FakeClock::time_point until) {
  const FakeClock::time_point now = FakeClock::now();
  std::unique_lock lock(mutex_);
  if (until > now && wireTimeScale_ > 0.0) {
    const auto scaled =
        std::chrono::duration_cast<FakeClock::duration>((until - now) * wireTimeScale_);
    changed_.wait_for(lock, scaled, [this] { return cancelled_; });
  }
  return !cancelled_;
}

std::int64_t FakePort::BytesWaiting() {
  std::lock_guard lock(mutex_);
  return bytesWaiting_;
}

PortEvent FakePort::WaitEvent() {
  std::unique_lock lock(mutex_);
  ++waiters_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return cancelled_ || bytesWaiting_ > 0; });
  --waiters_;
  changed_.notify_all();
  return cancelled_ ? PortEvent::Cancelled : PortEvent::Received;
}

void FakePort::CancelWaits() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
}

void FakePort::Close() {
  {
    std::lock_guard lock(mutex_);
    if (open_) {
      ++closes_;
    }
    open_ = false;
  }
  changed_.notify_all();
}

OsError FakePort::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::vector<FakeOpen> FakePort::Opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

std::vector<FakeWrite> FakePort::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::size_t FakePort::WriteCount() const {
  std::lock_guard lock(mutex_);
  return writes_.size();
}

bool FakePort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

std::size_t FakePort::Closes() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

std::size_t FakePort::WritesWhileClosed() const {
  std::lock_guard lock(mutex_);
  return writesWhileClosed_;
}

std::size_t FakePort::OpensWhileOpen() const {
  std::lock_guard lock(mutex_);
  return opensWhileOpen_;
}

std::size_t FakePort::WaitersNow() const {
  std::lock_guard lock(mutex_);
  return waiters_;
}

bool FakePort::WaitForWrites(const std::function<bool(const std::vector<FakeWrite>&)>& done,
                             std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(writes_); });
}

}  // namespace tarvex::test
