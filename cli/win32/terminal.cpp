#include "cli/terminal.h"

#include <windows.h>

#include <iostream>

namespace tarvex::cli {

// A console draws the display only with escape sequences turned on (Utf8Console asks for them);
// a console that refused them, a pipe or a file has no console mode with that flag.
bool IsLiveTerminal(const std::ostream& out) {
  DWORD mode = 0;
  return &out == &std::cout && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 &&
         (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace tarvex::cli
