// The error flags ClearCommError reports, as counts. Windows keeps no running counts: each call
// says which errors came since the last one, so one report adds at most one of each.
#pragma once

#include <windows.h>

#include "link/serial_reader.h"

namespace tarvex::win32 {

// A break also shows as a framing (often a parity) error of its zero byte; it counts as a break
// alone, as UARTs count it on Linux.
LineErrorCounts CountCommErrors(DWORD flags);

}  // namespace tarvex::win32
