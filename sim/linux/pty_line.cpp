#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "link/kernel_termios.h"

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr tcflag_t COOKED_INPUT =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY;
constexpr tcflag_t COOKED_LOCAL = ISIG | ICANON | ECHO | ECHONL | IEXTEN;
// The reports that come with a change of the slave's settings.
constexpr int SETTINGS_REPORTS = TIOCPKT_IOCTL | TIOCPKT_DOSTOP | TIOCPKT_NOSTOP;

void SetCloseOnExec(int fd) {
  fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

PtyPacket Classify(std::uint8_t report, std::size_t size) {
  if (report == TIOCPKT_DATA) {
    return {size != 0 ? PtyEvent::Bytes : PtyEvent::Nothing, size, 0};
  }
  return {(report & SETTINGS_REPORTS) != 0 ? PtyEvent::SettingsChanged : PtyEvent::Other, 0, 0};
}

}  // namespace

bool PtyLineSettings::Matches(const LineSettings& expected) const {
  const bool odd = expected.parity == PARITY_CODE_ODD;
  return eightDataBits && baud == expected.baud && stopBits == expected.stopBits &&
         (parity == PtyParity::Odd) == odd;
}

PtyLine::PtyLine() {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    return;
  }
  std::array<char, 128> name{};
  if (ptsname_r(master, name.data(), name.size()) != 0) {
    close(master);
    close(slave);
    return;
  }
  SetCloseOnExec(master);
  SetCloseOnExec(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // No echo: what the fixture sends must not come back to it. EXTPROC, which raw mode keeps, makes
  // the kernel report every later change of the settings to the master in packet mode. The rest
  // stays the driver's default (cooked), so that an opener that forgets raw mode shows it.
  termios t{};
  if (tcgetattr(slave, &t) == 0) {
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    t.c_lflag |= EXTPROC;
    tcsetattr(slave, TCSANOW, &t);
  }
  const int packetMode = 1;
  if (ioctl(master, TIOCPKT, &packetMode) != 0) {
    close(master);
    close(slave);
    return;
  }
  masterFd_ = master;
  slaveFd_ = slave;
  slavePath_ = name.data();
}

PtyLine::~PtyLine() {
  Hangup();
  if (slaveFd_ >= 0) {
    close(slaveFd_);
  }
}

long PtyLine::Read(std::uint8_t* buffer, std::size_t maxBytes, std::chrono::milliseconds timeout) {
  if (masterFd_ < 0) {
    return -EBADF;
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const PtyPacket packet = ReadPacket(buffer, maxBytes);
    if (packet.event == PtyEvent::Bytes) {
      return static_cast<long>(packet.size);
    }
    if (packet.event == PtyEvent::Failed) {
      return -packet.error;
    }
    if (packet.event == PtyEvent::Nothing &&
        !WaitReadable(std::chrono::milliseconds{RemainingMs(deadline)})) {
      return 0;
    }
  }
}

PtyPacket PtyLine::ReadPacket(std::uint8_t* buffer, std::size_t maxBytes) {
  if (masterFd_ < 0) {
    return {PtyEvent::Failed, 0, EBADF};
  }
  // Packet mode puts one byte before what the opener wrote: 0, or the report alone.
  std::uint8_t report = 0;
  std::array<iovec, 2> parts{{{&report, 1}, {buffer, maxBytes}}};
  for (;;) {
    const ssize_t got = readv(masterFd_, parts.data(), static_cast<int>(parts.size()));
    if (got > 0) {
      return Classify(report, static_cast<std::size_t>(got - 1));
    }
    if (got == 0 || errno == EAGAIN) {
      return {};
    }
    if (errno != EINTR) {
      return {PtyEvent::Failed, 0, errno};
    }
  }
}

bool PtyLine::WaitReadable(std::chrono::milliseconds timeout) {
  pollfd fd = {masterFd_, POLLIN, 0};
  return poll(&fd, 1, static_cast<int>(std::clamp<long long>(timeout.count(), 0, INT_MAX))) != 0;
}

std::vector<std::uint8_t> PtyLine::ReadFor(std::size_t count, std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> bytes(count);
  std::size_t have = 0;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (have < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const long got = Read(bytes.data() + have, count - have, std::max(left, decltype(left){0}));
    if (got <= 0) {
      break;
    }
    have += static_cast<std::size_t>(got);
  }
  bytes.resize(have);
  return bytes;
}

void PtyLine::Drain() {
  std::array<std::uint8_t, 4096> sink{};
  while (Read(sink.data(), sink.size(), std::chrono::milliseconds{0}) > 0) {
  }
}

bool PtyLine::Send(const std::uint8_t* bytes, std::size_t length) {
  std::size_t sent = 0;
  while (sent < length && masterFd_ >= 0) {
    const ssize_t n = write(masterFd_, bytes + sent, length - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    }
    pollfd fd = {masterFd_, POLLOUT, 0};
    poll(&fd, 1, 100);
  }
  return sent == length;
}

bool PtyLine::Settings(PtyLineSettings& settings) const {
  posix::KernelTermios t;
  if (masterFd_ < 0 || posix::ReadKernelTermios(masterFd_, t) != 0) {
    return false;
  }
  settings.baud = t.ospeed;
  settings.parity = (t.cflag & PARODD) != 0 ? PtyParity::Odd : PtyParity::NoneOrEven;
  settings.stopBits = (t.cflag & CSTOPB) != 0 ? 2 : 1;
  settings.eightDataBits = (t.cflag & CSIZE) == CS8;
  settings.hardwareFlow = (t.cflag & CRTSCTS) != 0;
  settings.outputXonXoff = (t.iflag & IXON) != 0;
  settings.inputXonXoff = (t.iflag & IXOFF) != 0;
  settings.parityCheck = (t.iflag & INPCK) != 0;
  settings.local = (t.cflag & CLOCAL) != 0;
  settings.receiverOn = (t.cflag & CREAD) != 0;
  settings.raw =
      (t.oflag & OPOST) == 0 && (t.iflag & COOKED_INPUT) == 0 && (t.lflag & COOKED_LOCAL) == 0;
  settings.changesReported = (t.lflag & EXTPROC) != 0;
  settings.iflag = t.iflag;
  settings.oflag = t.oflag;
  settings.cflag = t.cflag;
  settings.lflag = t.lflag;
  return true;
}

bool PtyLine::SuspendOutput() {
  return slaveFd_ >= 0 && tcflow(slaveFd_, TCOOFF) == 0;
}

bool PtyLine::ResumeOutput() {
  return slaveFd_ >= 0 && tcflow(slaveFd_, TCOON) == 0;
}

void PtyLine::Hangup() {
  if (masterFd_ >= 0) {
    close(masterFd_);
    masterFd_ = -1;
  }
}

}  // namespace tarvex
