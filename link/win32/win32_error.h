// GetLastError() codes as OsErrors, with the fix a technician can apply.
#pragma once

#include <windows.h>

#include <string>

#include "platform/os_error.h"

namespace tarvex::win32 {

// The error of a failed open of `device` ("\\\\.\\COM3", or a path someone gave as a port).
OsError OpenError(DWORD code, const std::string& device = {});
// What opened is no serial port (NUL, a file, a printer): it has no line settings.
OsError NotAPortError(DWORD code);
// The driver refused the line settings.
OsError SettingsError(DWORD code);
// Any other failure of a port operation.
OsError PortError(DWORD code);

}  // namespace tarvex::win32
