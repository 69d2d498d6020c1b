#include "link/win32/win32_error.h"

#include <system_error>

namespace tarvex::win32 {

namespace {

OsError Make(DWORD code, const char* hint) {
  return OsError{std::error_code(static_cast<int>(code), std::system_category()), hint};
}

}  // namespace

OsError OpenError(DWORD code) {
  switch (code) {
    // A COM port opened without sharing reports "access denied" to everyone else.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return Make(code, "port is in use by another program: close it, or pick another port");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return Make(code, "no such port: see `tarvex-cli ports`");
    default:
      return PortError(code);
  }
}

OsError SettingsError(DWORD code) {
  return Make(code,
              "the port refused the line settings (speed, parity or stop bits): use an adapter "
              "that supports 100000, 115200 and 250000 bit/s");
}

OsError PortError(DWORD code) {
  switch (code) {
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_COMMAND:
      return Make(code, "the adapter stopped working or was unplugged: plug it in again");
    default:
      return Make(code, "");
  }
}

}  // namespace tarvex::win32
