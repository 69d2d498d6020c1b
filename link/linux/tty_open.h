// Opening a tty for either end of a line: the downloader's port and the fixture's reader.
#pragma once

#include <string>

#include "platform/os_error.h"
#include "protocol/line_settings.h"

namespace tarvex::posix {

// Opens `device` non-blocking and exclusively (TIOCEXCL, and a lock that also keeps out root and
// a second open from this process) and applies `settings` (see ApplyLineSettings). Returns the
// descriptor, or -1 with `error` set and nothing left open.
int OpenExclusiveTty(const std::string& device, const LineSettings& settings, bool markErrors,
                     OsError& error);

// Gives up the exclusive use and closes.
void CloseExclusiveTty(int fd);

}  // namespace tarvex::posix
