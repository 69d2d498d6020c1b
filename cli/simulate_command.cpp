// tarvex-cli simulate: a virtual fixture on a new pseudo-terminal. It waits for one download to
// arrive, checks it as a fixture would, and tells what it received.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "cli/commands.h"
#include "cli/interrupt_signals.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "sim/pty_line.h"

namespace tarvex::cli {

namespace {

// How often the main thread looks for Ctrl-C / SIGTERM while the fixture listens.
constexpr std::chrono::milliseconds SIGNAL_PERIOD{100};

struct SimulateOptions {
  std::string out;         // Intel HEX file for the memory received; empty: none
  double timeoutS = 0.0;   // seconds; 0 waits until a download is over
  double timeScale = 1.0;  // of the download's pauses; the fixture expects gaps scaled alike
};

bool WriteMemory(const std::string& path, const FixtureMemory& memory, Io io) {
  std::ofstream file(path, std::ios::trunc);
  if (file && WriteIntelHex(memory, file)) {
    io.out << "Memory received written to " << path << " (Intel HEX, 32-bit addresses)\n";
    return true;
  }
  io.err << "tarvex-cli: cannot write " << path << ": " << std::strerror(errno) << '\n';
  return false;
}

int RunSimulate(const SimulateOptions& options, Io io) {
  PtyLine line;
  if (!line.Ok()) {
    io.err << "tarvex-cli: cannot create a pseudo-terminal: " << std::strerror(errno) << '\n';
    return EXIT_FAILED;
  }
  RunnerOptions runnerOptions;
  runnerOptions.fixture.gapScale = options.timeScale;
  runnerOptions.timeout =
      std::chrono::milliseconds(static_cast<std::int64_t>(options.timeoutS * 1000));
  FixtureRunner runner(line, runnerOptions);
  // Before the runner's thread starts, so that it inherits the blocked signals.
  InterruptSignals signals;

  if (!runner.Start()) {
    io.err << "tarvex-cli: cannot start the fixture's thread\n";
    return EXIT_FAILED;
  }
  io.out << "Simulated fixture listening on " << line.SlavePath() << '\n'
         << "Waiting for a download (e.g. tarvex-cli download --port " << line.SlavePath()
         << " IMAGE); Ctrl-C to stop.\n"
         << std::flush;
  while (!runner.WaitFor(std::chrono::milliseconds{0})) {
    if (signals.WaitFor(SIGNAL_PERIOD)) {
      runner.Stop();
    }
  }

  const FixtureVerdict verdict = runner.Verdict();
  switch (runner.End()) {
    case RunEnd::Stopped:
      io.err << "tarvex-cli: interrupted\n";
      if (verdict.anythingReceived) {
        io.out << DescribeVerdict(verdict);
      }
      return EXIT_INTERRUPTED;
    case RunEnd::LineFailed:
      io.err << "tarvex-cli: reading the pseudo-terminal failed: "
             << std::strerror(runner.LineErrno()) << '\n';
      break;
    case RunEnd::TimedOut:
      io.out << "No download was over within " << options.timeoutS << " s.\n";
      break;
    case RunEnd::EndReceived:
    case RunEnd::Running:
      break;
  }
  io.out << DescribeVerdict(verdict);
  const bool written = options.out.empty() || WriteMemory(options.out, runner.Memory(), io);
  return verdict.Intact() && written ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

void AddSimulateCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<SimulateOptions>();
  CLI::App* simulate = app.add_subcommand(
      "simulate", "Act as a fixture on a new pseudo-terminal and check the download it receives");
  simulate
      ->add_option("--out", options->out,
                   "Write the memory received to FILE as Intel HEX (32-bit addresses)")
      ->type_name("FILE");
  simulate
      ->add_option("--timeout", options->timeoutS,
                   "Give up after S seconds (default: wait until a download is over)")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  simulate
      ->add_option("--time-scale", options->timeScale,
                   "Expect every pause scaled by this factor (testing only)")
      ->check(CLI::Range(0.0, 1.0))
      ->group("");
  simulate->footer(
      "Exit status: 0 when a download arrived intact, 1 when it had faults or none was over in "
      "time, 130 after Ctrl-C or SIGTERM.");
  simulate->callback([io, &exitCode, options] { exitCode = RunSimulate(*options, io); });
}

}  // namespace tarvex::cli
