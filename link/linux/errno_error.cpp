#include "link/linux/errno_error.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace tarvex::posix {

namespace {

const char* HintFor(int code) {
  switch (code) {
    case EACCES:
      return "permission denied";  // the backend says more where it knows the device
    case EBUSY:
    case EWOULDBLOCK:  // flock(LOCK_NB) on a port that another program holds
      return "port is in use by another program: close it, or pick another port";
    case ENOENT:
      return "no such device: see `tarvex-cli ports`";
    case ENOTTY:  // a terminal request on something that is no terminal
      return "not a serial port";
    default:
      return "";
  }
}

}  // namespace

OsError ErrnoError(int code) {
  return ErrnoError(code, HintFor(code));
}

OsError ErrnoError(int code, std::string hint) {
  return OsError{std::error_code(code, std::system_category()), std::move(hint)};
}

}  // namespace tarvex::posix
