// The Linux backend: a tty opened non-blocking, waits in ppoll() next to an eventfd that the
// close sequence signals, so no wait can outlive a close.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>

#include "link/linux/errno_error.h"
#include "link/linux/tty_open.h"
#include "link/port_backend.h"
#include "link/port_list.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

constexpr short PORT_GONE = POLLERR | POLLHUP | POLLNVAL;

timespec ToTimespec(nanoseconds duration) {
  const auto clamped = std::max(duration, nanoseconds{0});
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(clamped.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(clamped.count() % 1000000000);
  return ts;
}

// ppoll() until something is ready or `deadline` (none = no limit) passes, resuming after
// signals. Returns ppoll's result: > 0 ready, 0 time-out, < 0 failure (errno set).
int PollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline) {
  for (;;) {
    timespec ts{};
    timespec* timeout = nullptr;
    if (deadline) {
      ts = ToTimespec(*deadline - Clock::now());
      timeout = &ts;
    }
    const int result = ppoll(fds, count, timeout, nullptr);
    if (result >= 0 || errno != EINTR) {
      return result;
    }
  }
}

class LinuxPortBackend final : public PortBackend {
 public:
  LinuxPortBackend() = default;
  ~LinuxPortBackend() override { Close(); }
  LinuxPortBackend(const LinuxPortBackend&) = delete;
  LinuxPortBackend& operator=(const LinuxPortBackend&) = delete;

  std::string DeviceFor(const std::string& portName) const override {
    return DeviceForPortName(portName);
  }

  bool Open(const std::string& portName, const LineSettings& settings) override;
  HandOver StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                      Clock::time_point deadline) override;
  std::int64_t OutputQueued() override;
  void DiscardOutput() override { tcflush(fd_, TCOFLUSH); }
  bool SleepUntil(Clock::time_point until) override;
  std::int64_t BytesWaiting() override;
  PortEvent WaitEvent() override;
  void CancelWaits() override;
  void Close() override;

  OsError LastError() const override {
    std::lock_guard lock(errorMutex_);
    return lastError_;
  }

 private:
  WaitEnd WaitWritable(Clock::time_point deadline);
  void KeepError(int code) { KeepError(code == 0 ? OsError{} : posix::ErrnoError(code)); }
  void KeepError(const OsError& error) {
    std::lock_guard lock(errorMutex_);
    lastError_ = error;
  }
  bool FailOpen(int code) { return FailOpen(posix::ErrnoError(code)); }
  bool FailOpen(const OsError& error) {
    if (cancelFd_ >= 0) {
      ::close(cancelFd_);
      cancelFd_ = -1;
    }
    KeepError(error);
    return false;
  }

  int fd_ = -1;
  int cancelFd_ = -1;
  mutable std::mutex errorMutex_;
  OsError lastError_;
};

bool LinuxPortBackend::Open(const std::string& portName, const LineSettings& settings) {
  KeepError(0);
  if (fd_ >= 0) {
    KeepError(EBUSY);
    return false;
  }
  // A fresh one per port: waits of the new port sleep again even if the last close signalled.
  cancelFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (cancelFd_ < 0) {
    return FailOpen(errno);
  }
  OsError failure;
  const int fd = posix::OpenExclusiveTty(DeviceFor(portName), settings, false, failure);
  if (fd < 0) {
    return FailOpen(failure);
  }
  // Devices without modem lines (pseudo-terminals) refuse this; that is fine. DTR stays as is.
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &rts);
  // Anything that arrived before this open is stale. Output is left alone: an earlier close has
  // waited for it or dropped it, and on a pseudo-terminal it is what the far end has not read yet.
  tcflush(fd, TCIFLUSH);
  fd_ = fd;
  return true;
}

WaitEnd LinuxPortBackend::WaitWritable(Clock::time_point deadline) {
  pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
  const int ready = PollUntil(fds, 2, deadline);
  if (ready < 0) {
    KeepError(errno);
    return WaitEnd::Failed;
  }
  if (ready == 0) {
    return WaitEnd::TimedOut;
  }
  if (fds[1].revents != 0) {
    return WaitEnd::Cancelled;
  }
  if ((fds[0].revents & PORT_GONE) != 0) {
    KeepError(EIO);
    return WaitEnd::Failed;
  }
  return WaitEnd::Done;
}

HandOver LinuxPortBackend::StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                                      Clock::time_point deadline) {
  KeepError(0);
  HandOver handed;
  while (handed.accepted < length && handed.end == WaitEnd::Done) {
    const ssize_t written = ::write(fd_, bytes + handed.accepted, length - handed.accepted);
    if (written > 0) {
      if (!handed.taken) {
        handed.taken = Clock::now();
      }
      handed.accepted += static_cast<std::uint32_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      handed.end = WaitWritable(deadline);
    } else {
      // EIO / ENXIO: the device is gone.
      KeepError(written < 0 ? errno : EIO);
      handed.end = WaitEnd::Failed;
    }
  }
  return handed;
}

std::int64_t LinuxPortBackend::OutputQueued() {
  int queued = 0;
  if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
    return 0;
  }
  return queued;
}

bool LinuxPortBackend::SleepUntil(Clock::time_point until) {
  pollfd cancel = {cancelFd_, POLLIN, 0};
  do {
    if (PollUntil(&cancel, 1, until) != 0) {
      return false;
    }
  } while (Clock::now() < until);
  return true;
}

std::int64_t LinuxPortBackend::BytesWaiting() {
  int waiting = 0;
  if (ioctl(fd_, TIOCINQ, &waiting) != 0) {
    return -1;
  }
  return waiting;
}

PortEvent LinuxPortBackend::WaitEvent() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
  if (PollUntil(fds, 2, std::nullopt) < 0) {
    return PortEvent::Error;
  }
  if (fds[1].revents != 0) {
    return PortEvent::Cancelled;
  }
  if ((fds[0].revents & PORT_GONE) != 0) {
    return PortEvent::Error;
  }
  return PortEvent::Received;
}

void LinuxPortBackend::CancelWaits() {
  if (cancelFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(cancelFd_, &one, sizeof one);
  }
}

void LinuxPortBackend::Close() {
  if (fd_ < 0) {
    return;
  }
  // Unsent output would make close() wait for it, up to the driver's closing wait. Only then:
  // on a pseudo-terminal the flush also drops what the far end has not read yet.
  if (OutputQueued() > 0) {
    tcflush(fd_, TCOFLUSH);
  }
  posix::CloseExclusiveTty(fd_);
  fd_ = -1;
  ::close(cancelFd_);
  cancelFd_ = -1;
}

}  // namespace

std::unique_ptr<PortBackend> MakeNativePortBackend() {
  return std::make_unique<LinuxPortBackend>();
}

}  // namespace tarvex
