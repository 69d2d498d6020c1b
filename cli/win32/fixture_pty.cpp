// Windows has no pseudo-terminals: simulate listens on a port (--port) only.
#include <ostream>

#include "cli/fixture_pty.h"

namespace tarvex::cli {

bool PseudoTerminalsAvailable(Io io) {
  io.err << "tarvex-cli: simulate needs a pseudo-terminal without --port, which Windows does not "
            "have: give --port COMn, a port wired to the one the download goes through\n";
  return false;
}

std::unique_ptr<FixturePty> MakeFixturePty(Io /*io*/) {
  return nullptr;
}

}  // namespace tarvex::cli
