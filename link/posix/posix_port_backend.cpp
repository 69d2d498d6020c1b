// The Linux backend: a tty opened non-blocking, waits in ppoll() next to an eventfd that the
// close sequence signals, so no wait can outlive a close.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>

#include "link/port_backend.h"
#include "link/port_list.h"
#include "link/posix/errno_error.h"
#include "link/posix/kernel_termios.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

constexpr short PORT_GONE = POLLERR | POLLHUP | POLLNVAL;

enum class WaitOutcome { Ready, TimedOut, Cancelled, Failed };

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

class PosixPortBackend final : public PortBackend {
 public:
  PosixPortBackend() = default;
  ~PosixPortBackend() override { Close(); }
  PosixPortBackend(const PosixPortBackend&) = delete;
  PosixPortBackend& operator=(const PosixPortBackend&) = delete;

  std::string DeviceFor(const std::string& portName) const override {
    return DeviceForPortName(portName);
  }

  bool Open(const std::string& portName, const LineSettings& settings) override;
  std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length,
                      std::chrono::milliseconds timeout) override;
  std::int64_t BytesWaiting() override;
  PortEvent WaitEvent() override;
  void CancelWaits() override;
  void Close() override;

  OsError LastError() const override {
    std::lock_guard lock(errorMutex_);
    return lastError_;
  }

 private:
  WaitOutcome WaitWritable(Clock::time_point deadline);
  WaitOutcome WaitDrained(Clock::time_point deadline);
  // False when the wait was cancelled before `until`.
  bool SleepUntil(Clock::time_point until);
  std::int64_t OutputQueued() const;
  void KeepError(int code) {
    std::lock_guard lock(errorMutex_);
    lastError_ = code == 0 ? OsError{} : posix::ErrnoError(code);
  }
  bool FailOpen(int code, int fd) {
    if (fd >= 0) {
      ::close(fd);
    }
    if (cancelFd_ >= 0) {
      ::close(cancelFd_);
      cancelFd_ = -1;
    }
    KeepError(code);
    return false;
  }

  int fd_ = -1;
  int cancelFd_ = -1;
  LineSettings settings_;
  mutable std::mutex errorMutex_;
  OsError lastError_;
};

bool PosixPortBackend::Open(const std::string& portName, const LineSettings& settings) {
  KeepError(0);
  if (fd_ >= 0) {
    KeepError(EBUSY);
    return false;
  }
  // A fresh one per port: waits of the new port sleep again even if the last close signalled.
  cancelFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (cancelFd_ < 0) {
    return FailOpen(errno, -1);
  }
  const std::string device = DeviceFor(portName);
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return FailOpen(errno, -1);
  }
  // TIOCEXCL keeps out later opens by others, but not root's; the lock stops every program
  // that locks too, and a second open from this process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return FailOpen(errno, fd);
  }
  ioctl(fd, TIOCEXCL);
  if (const int error = posix::ApplyLineSettings(fd, settings); error != 0) {
    ioctl(fd, TIOCNXCL);
    return FailOpen(error, fd);
  }
  // Devices without modem lines (pseudo-terminals) refuse this; that is fine. DTR stays as is.
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &rts);
  // Anything that arrived before this open, or is still queued from an earlier one, is stale.
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  settings_ = settings;
  return true;
}

WaitOutcome PosixPortBackend::WaitWritable(Clock::time_point deadline) {
  pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
  const int ready = PollUntil(fds, 2, deadline);
  if (ready < 0) {
    KeepError(errno);
    return WaitOutcome::Failed;
  }
  if (ready == 0) {
    return WaitOutcome::TimedOut;
  }
  if (fds[1].revents != 0) {
    return WaitOutcome::Cancelled;
  }
  if ((fds[0].revents & PORT_GONE) != 0) {
    KeepError(EIO);
    return WaitOutcome::Failed;
  }
  return WaitOutcome::Ready;
}

std::int64_t PosixPortBackend::OutputQueued() const {
  int queued = 0;
  if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
    return 0;
  }
  return queued;
}

bool PosixPortBackend::SleepUntil(Clock::time_point until) {
  pollfd cancel = {cancelFd_, POLLIN, 0};
  return PollUntil(&cancel, 1, until) == 0;
}

WaitOutcome PosixPortBackend::WaitDrained(Clock::time_point deadline) {
  constexpr nanoseconds SHORTEST_PAUSE = std::chrono::milliseconds{1};
  // Sleeps for about the wire time of what is still queued rather than tcdrain(), which has no
  // time limit.
  for (;;) {
    const std::int64_t queued = OutputQueued();
    if (queued <= 0) {
      return WaitOutcome::Ready;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      return WaitOutcome::TimedOut;
    }
    const nanoseconds pause = std::max<nanoseconds>(
        WireTime(settings_, static_cast<std::uint64_t>(queued)), SHORTEST_PAUSE);
    if (!SleepUntil(std::min(now + pause, deadline))) {
      return WaitOutcome::Cancelled;
    }
  }
}

std::uint32_t PosixPortBackend::Write(const std::uint8_t* bytes, std::uint32_t length,
                                      std::chrono::milliseconds timeout) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + timeout;
  KeepError(0);
  std::uint32_t accepted = 0;
  WaitOutcome outcome = WaitOutcome::Ready;
  while (accepted < length && outcome == WaitOutcome::Ready) {
    const ssize_t written = ::write(fd_, bytes + accepted, length - accepted);
    if (written > 0) {
      accepted += static_cast<std::uint32_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      outcome = WaitWritable(deadline);
    } else {
      // EIO / ENXIO: the device is gone.
      KeepError(written < 0 ? errno : EIO);
      outcome = WaitOutcome::Failed;
    }
  }
  if (outcome == WaitOutcome::Ready) {
    outcome = WaitDrained(deadline);
  }
  if (outcome == WaitOutcome::TimedOut) {
    // What is still queued will not have left by the time-out: drop it so that it cannot trail
    // into the next frame, and do not count it.
    const auto unsent = static_cast<std::uint32_t>(
        std::min<std::int64_t>(OutputQueued(), static_cast<std::int64_t>(accepted)));
    tcflush(fd_, TCOFLUSH);
    accepted -= unsent;
    KeepError(ETIMEDOUT);
  }
  if (outcome == WaitOutcome::Ready || outcome == WaitOutcome::TimedOut) {
    // A USB adapter reports an empty queue while its own buffer still sends.
    SleepUntil(std::min(start + WireTime(settings_, accepted), deadline));
  }
  return accepted;
}

std::int64_t PosixPortBackend::BytesWaiting() {
  int waiting = 0;
  if (ioctl(fd_, TIOCINQ, &waiting) != 0) {
    return -1;
  }
  return waiting;
}

PortEvent PosixPortBackend::WaitEvent() {
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

void PosixPortBackend::CancelWaits() {
  if (cancelFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(cancelFd_, &one, sizeof one);
  }
}

void PosixPortBackend::Close() {
  if (fd_ < 0) {
    return;
  }
  // Unsent output would make close() wait for it, up to the driver's closing wait.
  tcflush(fd_, TCOFLUSH);
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  ::close(cancelFd_);
  cancelFd_ = -1;
}

}  // namespace

std::unique_ptr<PortBackend> MakeNativePortBackend() {
  return std::make_unique<PosixPortBackend>();
}

}  // namespace tarvex
