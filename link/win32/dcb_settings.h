// The line settings as the fields of a DCB record.
#pragma once

#include <windows.h>

#include "protocol/line_settings.h"

namespace tarvex::win32 {

// Sets speed, 8 data bits, parity, stop bits, binary mode, parity checking, no flow control of
// any kind, RTS held off and the XON/XOFF values; every other field keeps the driver's value
// (DTR among them).
void ApplyLineSettings(DCB& dcb, const LineSettings& settings);

}  // namespace tarvex::win32
