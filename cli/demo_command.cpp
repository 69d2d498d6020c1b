// tarvex-cli demo: the sample image downloaded into a simulated fixture, at the real pace.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/commands.h"
#include "cli/pty_commands.h"
#include "cli/run_options.h"

namespace tarvex::cli {

void AddDemoCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<DemoOptions>();
  auto* cmd = app.add_subcommand(
      "demo",
      "Download an image (the sample by default) into a simulated fixture, at the real "
      "pace, and show what the fixture received");
  cmd->add_option("IMAGE", options->imagePath,
                  "Firmware image (.zfr); default: the sample installed with tarvex-cli "
                  "(share/tarvex/sample.zfr beside its bin folder)");
  AddRunOptions(*cmd, options->run);
  cmd->footer(
      "Exit status: 0 when the fixture received the image intact, 1 when it did not or a port "
      "failed, 2 for a usage error, 3 when the image is rejected, 130 when interrupted (Ctrl-C), "
      "129 when the terminal hangs up (SIGHUP).");
  cmd->callback([options, io, &exitCode] { exitCode = RunDemo(*options, io); });
}

}  // namespace tarvex::cli
