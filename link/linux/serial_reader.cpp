// The fixture's reader on Linux: termios2 with error marking, poll() for the waits, and the
// driver's error counters (TIOCGICOUNT) where it keeps them.
#include "link/serial_reader.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "link/kernel_termios.h"
#include "link/linux/errno_error.h"
#include "link/linux/tty_open.h"
#include "link/marked_input.h"
#include "link/port_list.h"

namespace tarvex {

namespace {

constexpr std::size_t RAW_CHUNK = 4096;  // bytes per read()
// Majors of pseudo-terminal slaves: the old BSD ones and the eight of /dev/pts.
constexpr unsigned BSD_PTY_SLAVE_MAJOR = 3;
constexpr unsigned PTS_MAJOR_FIRST = 136;
constexpr unsigned PTS_MAJOR_LAST = 143;

bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    return false;
  }
  const unsigned kind = major(st.st_rdev);
  return kind == BSD_PTY_SLAVE_MAJOR || (kind >= PTS_MAJOR_FIRST && kind <= PTS_MAJOR_LAST);
}

std::optional<LineErrorCounts> DriverCounts(int fd) {
  serial_icounter_struct counts{};
  if (ioctl(fd, TIOCGICOUNT, &counts) != 0) {
    return std::nullopt;
  }
  return LineErrorCounts{static_cast<std::uint64_t>(counts.frame),
                         static_cast<std::uint64_t>(counts.parity),
                         static_cast<std::uint64_t>(counts.overrun + counts.buf_overrun),
                         static_cast<std::uint64_t>(counts.brk)};
}

class LinuxSerialReader final : public SerialReader {
 public:
  LinuxSerialReader() = default;
  ~LinuxSerialReader() override { Close(); }
  LinuxSerialReader(const LinuxSerialReader&) = delete;
  LinuxSerialReader& operator=(const LinuxSerialReader&) = delete;

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
  bool Fail(int code) {
    lastError_ = posix::ErrnoError(code);
    return false;
  }

  int fd_ = -1;
  LineSettings settings_;
  bool checksLine_ = false;
  std::optional<LineErrorCounts> countsAtOpen_;
  MarkedInput input_;
  OsError lastError_;
};

bool LinuxSerialReader::Open(const std::string& portName, const LineSettings& settings) {
  lastError_ = {};
  if (fd_ >= 0) {
    return Fail(EBUSY);
  }
  fd_ = posix::OpenExclusiveTty(DeviceForPortName(portName), settings, true, lastError_);
  if (fd_ < 0) {
    return false;
  }
  DiscardInput();
  settings_ = settings;
  checksLine_ = !IsPseudoTerminal(fd_);
  countsAtOpen_ = DriverCounts(fd_);
  return true;
}

bool LinuxSerialReader::Apply(const LineSettings& settings) {
  if (settings == settings_) {
    return true;
  }
  if (const int failed = posix::ApplyLineSettings(fd_, settings, true); failed != 0) {
    return Fail(failed);
  }
  settings_ = settings;
  return true;
}

bool LinuxSerialReader::Read(std::chrono::milliseconds timeout, ReceivedBytes& received) {
  pollfd fd = {fd_, POLLIN, 0};
  const int ready = poll(&fd, 1, static_cast<int>(timeout.count()));
  if (ready < 0) {
    return errno == EINTR || Fail(errno);
  }
  if (ready == 0) {
    return true;
  }
  std::array<std::uint8_t, RAW_CHUNK> raw{};
  const ssize_t got = ::read(fd_, raw.data(), raw.size());
  if (got < 0) {
    return errno == EAGAIN || errno == EINTR || Fail(errno);
  }
  if (got == 0) {
    return Fail(EIO);  // hung up
  }
  input_.Decode({raw.data(), static_cast<std::size_t>(got)}, received.bytes, received.marked);
  return true;
}

void LinuxSerialReader::DiscardInput() {
  tcflush(fd_, TCIFLUSH);
  input_ = {};  // a mark cut by the flush must not swallow the next byte
}

std::optional<LineErrorCounts> LinuxSerialReader::ErrorCounts() const {
  const std::optional<LineErrorCounts> now = fd_ >= 0 ? DriverCounts(fd_) : std::nullopt;
  if (!now || !countsAtOpen_) {
    return std::nullopt;
  }
  return *now - *countsAtOpen_;
}

void LinuxSerialReader::Close() {
  if (fd_ >= 0) {
    posix::CloseExclusiveTty(fd_);
    fd_ = -1;
  }
}

}  // namespace

std::unique_ptr<SerialReader> MakeNativeSerialReader() {
  return std::make_unique<LinuxSerialReader>();
}

}  // namespace tarvex
