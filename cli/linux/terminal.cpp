#include "cli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>

namespace tarvex::cli {

bool IsLiveTerminal(const std::ostream& out) {
  return &out == &std::cout && isatty(STDOUT_FILENO) == 1;
}

std::size_t TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
    return 0;
  }
  return size.ws_col;
}

}  // namespace tarvex::cli
