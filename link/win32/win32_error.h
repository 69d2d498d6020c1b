// GetLastError() codes as OsErrors, with the fix a technician can apply.
#pragma once

#include <windows.h>

#include "platform/os_error.h"

namespace tarvex::win32 {

// The error of a failed open of a port by name.
OsError OpenError(DWORD code);
// The driver refused the line settings.
OsError SettingsError(DWORD code);
// Any other failure of a port operation.
OsError PortError(DWORD code);

}  // namespace tarvex::win32
