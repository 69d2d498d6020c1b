#include "link/win32/comm_open.h"

#include "link/port_list.h"
#include "link/win32/win32_error.h"
#include "platform/wide_text.h"

namespace tarvex::win32 {

HANDLE OpenCommPort(const std::string& portName, OsError& error) {
  const std::string device = DeviceForPortName(portName);
  const HANDLE port =
      CreateFileW(ToWide(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    error = OpenError(GetLastError(), device);
    return port;
  }
  // The event mask is the driver's own, so asking for it touches no line settings (Wine cannot
  // always read those back from a tty); what is no port at all refuses it.
  DWORD mask = 0;
  if (GetFileType(port) != FILE_TYPE_CHAR || !GetCommMask(port, &mask)) {
    const DWORD code = GetLastError();
    CloseHandle(port);
    error = NotAPortError(code == ERROR_SUCCESS ? ERROR_INVALID_FUNCTION : code);
    return INVALID_HANDLE_VALUE;
  }
  return port;
}

}  // namespace tarvex::win32
