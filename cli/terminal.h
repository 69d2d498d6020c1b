// Where the live progress display can be drawn.
#pragma once

#include <cstddef>
#include <iosfwd>

namespace tarvex::cli {

// True when `out` is the program's standard output and that is a terminal which understands the
// display's cursor movements and line erasing. Pipes, files and string streams get plain lines.
bool IsLiveTerminal(const std::ostream& out);

// The width of the terminal on standard output now, in columns; 0 when it cannot be told. Asked
// at every redraw, so the display follows a window that is resized.
std::size_t TerminalColumns();

}  // namespace tarvex::cli
