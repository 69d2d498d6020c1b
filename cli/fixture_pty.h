// The pseudo-terminal simulate listens on without --port. Linux has them; Windows does not, and
// there simulate needs --port.
#pragma once

#include <memory>
#include <string>

#include "cli/commands.h"
#include "sim/fixture_runner.h"

namespace tarvex::cli {

class FixturePty {
 public:
  virtual ~FixturePty() = default;
  // The path a sender opens: "/dev/pts/3".
  virtual const std::string& Path() const = 0;
  virtual std::unique_ptr<FixtureRunner> Runner(const RunnerOptions& options) = 0;
};

// False, with the alternative told on io.err, where the platform has no pseudo-terminals.
bool PseudoTerminalsAvailable(Io io);
// A new pseudo-terminal; null, with the reason told on io.err, when none can be made.
std::unique_ptr<FixturePty> MakeFixturePty(Io io);

}  // namespace tarvex::cli
