// errno as an OsError, with a hint where the fix is a common one.
#pragma once

#include "link/os_error.h"

namespace tarvex::posix {

OsError ErrnoError(int code);

}  // namespace tarvex::posix
