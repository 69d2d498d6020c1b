#include "link/linux/errno_error.h"

#include <cerrno>
#include <system_error>

namespace tarvex::posix {

namespace {

const char* HintFor(int code) {
  switch (code) {
    case EACCES:
      return "permission denied: add your user to the dialout group";
    case EBUSY:
    case EWOULDBLOCK:  // flock(LOCK_NB) on a port that another program holds
      return "port is in use by another program";
    case ENOENT:
      return "no such device";
    default:
      return "";
  }
}

}  // namespace

OsError ErrnoError(int code) {
  return OsError{std::error_code(code, std::system_category()), HintFor(code)};
}

}  // namespace tarvex::posix
