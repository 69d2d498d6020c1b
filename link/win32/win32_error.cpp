#include "link/win32/win32_error.h"

#include <system_error>

#include "platform/wide_text.h"

namespace tarvex::win32 {

namespace {

OsError Make(DWORD code, const char* hint) {
  return OsError{std::error_code(static_cast<int>(code), std::system_category()), hint};
}

// A folder cannot be opened as a file either: Windows says "access denied", as for a port in use.
bool IsFolder(const std::string& device) {
  if (device.empty()) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(ToWide(device).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

OsError OpenError(DWORD code, const std::string& device) {
  if (IsFolder(device)) {
    return Make(code,
                "it is a folder, not a serial port: give a port such as COM3 (see "
                "`tarvex-cli ports`)");
  }
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

OsError NotAPortError(DWORD code) {
  return Make(code,
              "not a serial port (it has no line settings): give a port such as COM3 (see "
              "`tarvex-cli ports`)");
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
