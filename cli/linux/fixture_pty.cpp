#include "cli/fixture_pty.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "sim/pty_line.h"

namespace tarvex::cli {

namespace {

class LinuxFixturePty final : public FixturePty {
 public:
  bool Ok() const { return line_.Ok(); }
  const std::string& Path() const override { return line_.SlavePath(); }
  std::unique_ptr<FixtureRunner> Runner(const RunnerOptions& options) override {
    return std::make_unique<FixtureRunner>(line_, options);
  }

 private:
  PtyLine line_;
};

}  // namespace

bool PseudoTerminalsAvailable(Io /*io*/) {
  return true;
}

std::unique_ptr<FixturePty> MakeFixturePty(Io io) {
  auto pty = std::make_unique<LinuxFixturePty>();
  if (!pty->Ok()) {
    io.err << "tarvex-cli: cannot create a pseudo-terminal: " << std::strerror(errno) << '\n';
    return nullptr;
  }
  return pty;
}

}  // namespace tarvex::cli
