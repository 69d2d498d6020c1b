// tarvex-cli loopcheck: two ports wired to each other, one process at both ends; one verdict per
// line setting that a download uses.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "cli/commands.h"
#include "cli/option_checks.h"
#include "cli/pty_commands.h"
#include "cli/time_scale_option.h"
#include "link/port_list.h"

namespace tarvex::cli {

void AddLoopcheckCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<LoopcheckOptions>();
  CLI::App* loopcheck = app.add_subcommand(
      "loopcheck",
      "Check two serial ports wired to each other at every line setting a download "
      "uses");
  loopcheck->add_option("-p,--port", options->port, "The port that sends, as a download would")
      ->type_name("PORT")
      ->required()
      ->check(PortNameCheck());
  loopcheck->add_option("--via", options->via, "The port wired to it, which receives")
      ->type_name("PORT")
      ->required()
      ->check(PortNameCheck());
  AddTimeScaleOption(*loopcheck, options->timeScale,
                     "Scale the run sent at each setting by this factor (testing only)");
  loopcheck->footer(
      "At 100000 8E1, 250000 8N2 and 115200 8O1 in turn, --port sends every byte value for "
      "about 2 s and --via receives them. Each setting gets one line: whether every byte came "
      "intact, the bytes that came with framing or parity errors (and the driver's own counts "
      "where it keeps them), and the speed measured from the arrival times (the bits of a "
      "character over the time the characters took, so missing stop bits show too). A "
      "pseudo-terminal checks none of that, so on one only the bytes are judged. A write that "
      "stalls (nothing drains the far end) is cut short after twice its time on the line and 2 s "
      "more, and the setting FAILED. Exit status: 0 "
      "when every setting is OK, 1 when one failed or a port could not be opened, 2 for a usage "
      "error such as --port and --via naming the same port.");
  loopcheck->callback([io, &exitCode, options] {
    const std::string device = ResolvedDevice(options->port);
    if (device == ResolvedDevice(options->via)) {
      io.err << "tarvex-cli: loopcheck: --port " << options->port << " and --via " << options->via
             << " are the same device (" << device << "); wire two ports together\n";
      exitCode = EXIT_USAGE;
      return;
    }
    exitCode = RunLoopcheck(*options, io);
  });
}

}  // namespace tarvex::cli
