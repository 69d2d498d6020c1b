#include "link/posix/errno_error.h"

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
      return nullptr;
  }
}

}  // namespace

OsError ErrnoError(int code) {
  OsError error;
  error.code = code;
  // std::error_code's message is thread-safe, unlike strerror().
  const std::string text = std::error_code(code, std::generic_category()).message();
  const char* hint = HintFor(code);
  error.message = hint == nullptr ? text : std::string(hint) + " (" + text + ")";
  return error;
}

}  // namespace tarvex::posix
