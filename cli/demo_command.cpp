// tarvex-cli demo: the sample image downloaded into a simulated fixture, at the real pace.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/port_texts.h"
#include "cli/pty_commands.h"
#include "cli/run_options.h"

namespace tarvex::cli {

void AddDemoCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<DemoOptions>();
  auto* cmd = app.add_subcommand("demo", DEMO_SUMMARY);
  cmd->add_option("IMAGE", options->imagePath,
                  "Firmware image (.zfr); default: " + std::string(SAMPLE_IMAGE_HELP));
  AddRunOptions(*cmd, options->run);
  cmd->footer(
      "Exit status: 0 when the fixture received the image intact, 1 when it did not or a port "
      "failed, 2 for a usage error or an image that cannot be opened (missing, a folder), 3 when "
      "the image is rejected, " +
      std::string(INTERRUPTED_EXITS_HELP) + ".");
  cmd->callback([options, io, &exitCode] { exitCode = RunDemo(*options, io); });
}

}  // namespace tarvex::cli
