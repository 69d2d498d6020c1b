// Windows has no pseudo-terminals, and this build cannot read a port yet: simulate, demo and
// loopcheck only say what to do instead.
#include "cli/pty_commands.h"

#include <ostream>

namespace tarvex::cli {

int RunSimulate(const SimulateOptions& /*options*/, Io io) {
  io.err << "tarvex-cli: simulate needs a pseudo-terminal, which Windows does not have, or "
            "(with --port) to read a port, which this Windows build does not support yet: run it "
            "on Linux, with --port on an adapter wired to the one this machine downloads "
            "through\n";
  return EXIT_USAGE;
}

int RunLoopcheck(const LoopcheckOptions& /*options*/, Io io) {
  io.err << "tarvex-cli: loopcheck reads a port, which this Windows build does not support yet: "
            "run it on Linux\n";
  return EXIT_USAGE;
}

int RunDemo(const DemoOptions& /*options*/, Io io) {
  io.err << "tarvex-cli: demo needs a pseudo-terminal for its simulated fixture, which Windows "
            "does not have: run it on Linux, or download into a real fixture with "
            "'tarvex-cli download --port COMn IMAGE'\n";
  return EXIT_USAGE;
}

}  // namespace tarvex::cli
