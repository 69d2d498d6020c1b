// errno as an OsError, with a hint where the fix is a common one.
#pragma once

#include <string>

#include "platform/os_error.h"

namespace tarvex::posix {

OsError ErrnoError(int code);
// The same with the hint replaced.
OsError ErrnoError(int code, std::string hint);

}  // namespace tarvex::posix
