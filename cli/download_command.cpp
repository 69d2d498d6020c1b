#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/image_fields.h"
#include "cli/job_session.h"
#include "cli/option_checks.h"
#include "cli/port_args.h"
#include "cli/port_texts.h"
#include "cli/run_options.h"
#include "image/image_loader.h"

namespace tarvex::cli {

namespace {

struct DownloadArgs {
  std::vector<std::string> ports;
  std::string imagePath;
  RunArgs run;
};

int RunDownload(const DownloadArgs& args, Io io) {
  const auto ports = ResolvePortArgs("download", args.ports, io.err);
  if (!ports) {
    return EXIT_USAGE;
  }
  const auto load = LoadImage(args.imagePath);
  if (!load.ok()) {
    return SayRejected(io.err, args.imagePath, load.rejection);
  }
  WarnUncheckedRows(io.err, *load.image);
  RunOutputs outputs;
  if (!OpenOutputs(args.run, outputs, io.err)) {
    return EXIT_USAGE;
  }
  const SessionOptions options = MakeSessionOptions(args.run, outputs, JobKind::Download, io);
  const auto result = RunSession(&*load.image, *ports, options, io);
  ReportFailures(result, options.kind, io.err);
  return ExitCodeFor(result, options.kind);
}

}  // namespace

void AddDownloadCommand(CLI::App& app, Io io, int& exitCode) {
  auto args = std::make_shared<DownloadArgs>();
  auto* cmd = app.add_subcommand("download",
                                 "Check an image and download it into the fixture "
                                 "on each port (all ports at once)");
  cmd->add_option("--port,-p", args->ports,
                  std::string("Port: ") + PORT_NAMES_HELP + "; repeat for several")
      ->required()
      ->envname(PORT_VARIABLE)
      ->check(PortNameCheck());
  AddRunOptions(*cmd, args->run);
  cmd->add_option("IMAGE", args->imagePath, "Firmware image (.zfr)")->required();
  cmd->footer(
      "Exit status: 0 when every port completed, 1 when a port could not be opened or a write "
      "failed, 2 for a usage error or an image that cannot be opened (missing, a folder), 3 when "
      "the image is rejected, " +
      std::string(INTERRUPTED_EXITS_HELP) + ".");
  cmd->callback([args, io, &exitCode] { exitCode = RunDownload(*args, io); });
}

}  // namespace tarvex::cli
