#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/job_session.h"
#include "cli/option_checks.h"
#include "cli/port_texts.h"

namespace tarvex::cli {

void AddTestCommand(CLI::App& app, Io io, int& exitCode) {
  auto port = std::make_shared<std::string>();
  auto* cmd = app.add_subcommand("test", "Send the 16-byte test code to the port");
  cmd->add_option("--port,-p", *port, std::string("Port: ") + PORT_NAMES_HELP)
      ->required()
      ->check(PortNameCheck());
  cmd->footer(
      "Exit status: 0 when the test code went out, 1 when the port could not be opened or the "
      "write failed, 2 for a usage error, 130 when interrupted (Ctrl-C).");
  cmd->callback([port, io, &exitCode] {
    SessionOptions options;
    options.kind = JobKind::Test;
    const auto result = RunSession(nullptr, {*port}, options, io);
    ReportFailures(result, options.kind, io.err);
    exitCode = ExitCodeFor(result, options.kind);
  });
}

}  // namespace tarvex::cli
