#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"
#include "cli/interrupt_signals.h"
#include "cli/job_session.h"
#include "image/image_loader.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "sim/pty_line.h"

namespace tarvex::cli {

namespace {

// How long the fixture may take to settle after the download has ended.
constexpr std::chrono::milliseconds FIXTURE_GRACE{3000};

struct DemoArgs {
  std::string imagePath = TARVEX_SAMPLE_IMAGE;
  std::string tracePath;
  double timeScale = 1.0;
};

void Introduce(const FirmwareImage& image, const std::string& port, double timeScale, Io io) {
  io.out << "Simulated fixture listening on " << port << '\n'
         << "Downloading " << image.path << " (model \"" << image.modelText << "\", "
         << (image.needsWake ? "with" : "without") << " wake-up), about "
         << (PlannedDuration(&image, timeScale).count() + 999) / 1000 << " s\n";
}

bool ReportFixture(FixtureRunner& runner, const FirmwareImage& image, Io io) {
  if (!runner.WaitFor(FIXTURE_GRACE)) {
    runner.Stop();
  }
  const auto verdict = runner.Verdict();
  io.out << "\nWhat the simulated fixture received:\n" << DescribeVerdict(verdict);
  const auto mismatches = CompareWithImage(verdict, runner.Memory(), image);
  for (const auto& mismatch : mismatches) {
    io.out << "  differs from the image: " << mismatch << '\n';
  }
  return verdict.Intact() && mismatches.empty();
}

int RunDemo(const DemoArgs& args, Io io) {
  const auto load = LoadImage(args.imagePath);
  if (!load.ok()) {
    io.err << "tarvex-cli: " << args.imagePath << ": " << load.rejection.message << '\n';
    return EXIT_BAD_IMAGE;
  }
  PtyLine line;
  if (!line.Ok()) {
    io.err << "tarvex-cli: cannot create a pseudo-terminal for the simulated fixture\n";
    return EXIT_FAILED;
  }
  // Before the fixture's thread exists, so that it never takes Ctrl-C or SIGTERM itself.
  InterruptSignals signals;
  RunnerOptions runnerOptions;
  runnerOptions.fixture.gapScale = args.timeScale;
  FixtureRunner runner(line, runnerOptions);
  if (!runner.Start()) {
    io.err << "tarvex-cli: cannot start the simulated fixture\n";
    return EXIT_FAILED;
  }
  Introduce(*load.image, line.SlavePath(), args.timeScale, io);

  SessionOptions options;
  options.timeScale = args.timeScale;
  options.tracePath = args.tracePath;
  options.terminal = &io.out == &std::cout && isatty(STDOUT_FILENO) == 1;
  const auto result = RunSession(&*load.image, {line.SlavePath()}, options, io);
  ReportFailures(result, options.kind, io.err);
  if (result.interrupted) {
    runner.Stop();
    return EXIT_INTERRUPTED;
  }
  const bool intact = ReportFixture(runner, *load.image, io);
  const int code = ExitCodeFor(result, options.kind);
  if (code != EXIT_OK) {
    return code;
  }
  return intact ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

void AddDemoCommand(CLI::App& app, Io io, int& exitCode) {
  auto args = std::make_shared<DemoArgs>();
  auto* cmd = app.add_subcommand(
      "demo",
      "Download an image (the sample by default) into a simulated fixture, at the real "
      "pace, and show what the fixture received");
  cmd->add_option("IMAGE", args->imagePath, "Firmware image (.zfr)")->capture_default_str();
  cmd->add_option("--trace", args->tracePath,
                  "Write one JSON line per frame sent (time, state, frame, length, settings)");
  cmd->add_option("--time-scale", args->timeScale, "Scale every pause (testing only)")
      ->check(CLI::Range(0.0, 1.0))
      ->group("");
  cmd->callback([args, io, &exitCode] { exitCode = RunDemo(*args, io); });
}

}  // namespace tarvex::cli
