#include "link/linux/tty_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "link/kernel_termios.h"
#include "link/linux/errno_error.h"
#include "link/linux/permission_hint.h"

namespace tarvex::posix {

namespace {

constexpr const char* NOT_A_PORT =
    "not a serial port (it has no line settings): give a port such as /dev/ttyUSB0 (see "
    "`tarvex-cli ports`)";

int Fail(const OsError& reason, int fd, OsError& error) {
  if (fd >= 0) {
    ::close(fd);
  }
  error = reason;
  return -1;
}

}  // namespace

int OpenExclusiveTty(const std::string& device, const LineSettings& settings, bool markErrors,
                     OsError& error) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) {
    return Fail(ErrnoError(EACCES, PermissionHint(device)), -1, error);
  }
  if (fd < 0 && errno == EISDIR) {
    return Fail(ErrnoError(EISDIR,
                           "it is a folder, not a serial port: give a port such as "
                           "/dev/ttyUSB0 (see `tarvex-cli ports`)"),
                -1, error);
  }
  if (fd < 0) {
    return Fail(ErrnoError(errno), -1, error);
  }
  // TIOCEXCL keeps out later opens by others, but not root's; the lock stops every program
  // that locks too, and a second open from this process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return Fail(ErrnoError(errno), fd, error);
  }
  ioctl(fd, TIOCEXCL);
  if (const int failed = ApplyLineSettings(fd, settings, markErrors); failed != 0) {
    ioctl(fd, TIOCNXCL);
    // Not a terminal at all (/dev/null, a file): it has no line settings to refuse.
    return Fail(failed == ENOTTY ? ErrnoError(ENOTTY, NOT_A_PORT) : ErrnoError(failed), fd, error);
  }
  return fd;
}

void CloseExclusiveTty(int fd) {
  ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace tarvex::posix
