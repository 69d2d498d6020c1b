#include <CLI/CLI.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/job_session.h"
#include "cli/option_checks.h"
#include "cli/port_args.h"
#include "cli/port_texts.h"
#include "cli/run_options.h"

namespace tarvex::cli {

void AddTestCommand(CLI::App& app, Io io, int& exitCode) {
  struct TestArgs {
    std::string port;
    RunArgs run;
  };
  auto args = std::make_shared<TestArgs>();
  auto* cmd = app.add_subcommand("test", "Send the 16-byte test code to the port");
  cmd->add_option("--port,-p", args->port, std::string("Port: ") + PORT_NAMES_HELP)
      ->required()
      ->envname(PORT_VARIABLE)
      ->check(PortNameCheck());
  AddRunOptions(*cmd, args->run);
  cmd->footer(
      "Exit status: 0 when the test code went out, 1 when the port could not be opened or the "
      "write failed, 2 for a usage error, " +
      std::string(INTERRUPTED_EXITS_HELP) + ".");
  cmd->callback([args, io, &exitCode] {
    const auto ports = ResolvePortArgs("test", {args->port}, io.err);
    RunOutputs outputs;
    if (!ports || !OpenOutputs(args->run, outputs, io.err)) {
      exitCode = EXIT_USAGE;
      return;
    }
    const SessionOptions options = MakeSessionOptions(args->run, outputs, JobKind::Test, io);
    const auto result = RunSession(nullptr, *ports, options, io);
    ReportFailures(result, options.kind, io.err);
    exitCode = ExitCodeFor(result, options.kind);
  });
}

}  // namespace tarvex::cli
