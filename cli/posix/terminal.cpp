#include "cli/terminal.h"

#include <unistd.h>

#include <iostream>

namespace tarvex::cli {

bool IsLiveTerminal(const std::ostream& out) {
  return &out == &std::cout && isatty(STDOUT_FILENO) == 1;
}

}  // namespace tarvex::cli
