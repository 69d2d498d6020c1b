// Only this file sees the kernel's termios2: <asm/termbits.h> and <termios.h> cannot meet.
#include "link/kernel_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tarvex::posix {

namespace {

constexpr tcflag_t RAW_INPUT_OFF = IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR |
                                   ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL;
constexpr tcflag_t RAW_LOCAL_OFF = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN;
constexpr tcflag_t CONTROL_REPLACED =
    CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

bool SetParity(termios2& t, std::uint8_t parity) {
  switch (parity) {
    case PARITY_CODE_NONE:
      return true;
    case PARITY_CODE_ODD:
      t.c_cflag |= PARENB | PARODD;
      return true;
    case PARITY_CODE_EVEN:
      t.c_cflag |= PARENB;
      return true;
    default:
      return false;
  }
}

}  // namespace

int ReadKernelTermios(int fd, KernelTermios& termios) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) {
    return errno;
  }
  termios.iflag = t.c_iflag;
  termios.oflag = t.c_oflag;
  termios.cflag = t.c_cflag;
  termios.lflag = t.c_lflag;
  termios.ispeed = t.c_ispeed;
  termios.ospeed = t.c_ospeed;
  return 0;
}

int ApplyLineSettings(int fd, const LineSettings& settings, bool markErrors) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) {
    return errno;
  }
  // Raw binary: every byte value passes both ways untouched, no signals, no echo.
  t.c_iflag &= ~RAW_INPUT_OFF;
  t.c_iflag |= INPCK;
  if (markErrors) {
    t.c_iflag |= PARMRK;
  }
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~RAW_LOCAL_OFF;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  // BOTHER takes the speed in bit/s from c_ospeed; an input speed field of 0 means "as output".
  t.c_cflag &= ~CONTROL_REPLACED;
  t.c_cflag |= BOTHER | CS8 | CLOCAL | CREAD;
  t.c_ospeed = settings.baud;
  t.c_ispeed = settings.baud;
  if (settings.stopBits == 2) {
    t.c_cflag |= CSTOPB;
  }
  if (!SetParity(t, settings.parity)) {
    return EINVAL;
  }
  if (ioctl(fd, TCSETS2, &t) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace tarvex::posix
