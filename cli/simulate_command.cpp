// tarvex-cli simulate: a virtual fixture on a new pseudo-terminal or a serial port. It waits for
// one download (or a test code alone) to arrive, checks it as a fixture would, and tells what it
// received; a download cut short and begun anew is reported as interrupted, the new one is judged.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/option_checks.h"
#include "cli/port_texts.h"
#include "cli/pty_commands.h"
#include "cli/time_scale_option.h"

namespace tarvex::cli {

void AddSimulateCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<SimulateOptions>();
  CLI::App* simulate = app.add_subcommand("simulate", SIMULATE_SUMMARY);
  simulate
      ->add_option("--port", options->port,
                   "Listen on this serial port instead, wired to the one the download goes "
                   "through (TX to RX, ground to ground)")
      ->type_name("PORT")
      ->check(PortNameCheck());
  simulate
      ->add_option("--out", options->out,
                   "Write the memory received to FILE as Intel HEX (32-bit addresses)")
      ->type_name("FILE")
      ->check(OutputFileCheck());
  simulate
      ->add_option("--timeout", options->timeoutS,
                   "Give up after S seconds (default: wait until a download is over)")
      ->type_name("S")
      ->check(PositiveSecondsCheck());
  AddTimeScaleOption(*simulate, options->timeScale,
                     "Expect every pause scaled by this factor (testing only)");
  simulate->footer(
      "A download that is cut short and begun anew is reported as interrupted; the verdict is "
      "about the last one. With --port the fixture's receiver follows the settings of the frame "
      "due next and counts the framing and parity errors the driver reports. Exit status: 0 when "
      "a download arrived intact or a test code alone "
      "came, 1 when it had faults, none was over in time or the port could not be opened, " +
      std::string(INTERRUPTED_EXITS_HELP) + ".");
  simulate->callback([io, &exitCode, options] { exitCode = RunSimulate(*options, io); });
}

}  // namespace tarvex::cli
