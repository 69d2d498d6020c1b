// Windows has no pseudo-terminals: demo only says what to do instead.
#include <ostream>

#include "cli/pty_commands.h"

namespace tarvex::cli {

int RunDemo(const DemoOptions& /*options*/, Io io) {
  io.err << "tarvex-cli: demo needs a pseudo-terminal for its simulated fixture, which Windows "
            "does not have: run it on Linux, or download into a real fixture with "
            "'tarvex-cli download --port COMn IMAGE'\n";
  return EXIT_USAGE;
}

}  // namespace tarvex::cli
