// Opening a COM port for overlapped I/O, as the link and the fixture's reader both do.
#pragma once

#include <windows.h>

#include <string>

#include "platform/os_error.h"

namespace tarvex::win32 {

// The port named `portName` ("COM3", or a device path), exclusively: no other program, and no
// second open of our own, gets it meanwhile. Something that opens but has no line settings (NUL,
// a file) is refused. INVALID_HANDLE_VALUE, with `error` set, on failure.
HANDLE OpenCommPort(const std::string& portName, OsError& error);

}  // namespace tarvex::win32
