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

std::size_t TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return 0;
  }
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace tarvex::cli
