// Where the live progress display can be drawn.
#pragma once

#include <iosfwd>

namespace tarvex::cli {

// True when `out` is the program's standard output and that is a terminal which understands the
// display's cursor movements and line erasing. Pipes, files and string streams get plain lines.
bool IsLiveTerminal(const std::ostream& out);

}  // namespace tarvex::cli
