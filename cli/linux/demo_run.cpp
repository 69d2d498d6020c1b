#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

#include "cli/image_fields.h"
#include "cli/interrupt_signals.h"
#include "cli/job_session.h"
#include "cli/pty_commands.h"
#include "image/image_loader.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "sim/pty_line.h"

namespace tarvex::cli {

namespace {

// How long the fixture may take to settle after the download has ended.
constexpr std::chrono::milliseconds FIXTURE_GRACE{3000};

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

// The sample as installed: PREFIX/bin/tarvex-cli and PREFIX/share/tarvex/sample.zfr; the build
// tree has the same layout.
std::string SampleImage() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return "share/tarvex/sample.zfr";
  }
  return (program.parent_path().parent_path() / "share" / "tarvex" / "sample.zfr").string();
}

}  // namespace

int RunDemo(const DemoOptions& args, Io io) {
  const std::string imagePath = args.imagePath.empty() ? SampleImage() : args.imagePath;
  const auto load = LoadImage(imagePath);
  if (!load.ok()) {
    return SayRejected(io.err, imagePath, load.rejection);
  }
  WarnUncheckedRows(io.err, *load.image);
  RunOutputs outputs;
  if (!OpenOutputs(args.run, outputs, io.err)) {
    return EXIT_USAGE;
  }
  PtyLine line;
  if (!line.Ok()) {
    io.err << "tarvex-cli: cannot create a pseudo-terminal for the simulated fixture\n";
    return EXIT_FAILED;
  }
  // Before the fixture's thread exists, so that it never takes Ctrl-C or SIGTERM itself.
  InterruptSignals signals;
  RunnerOptions runnerOptions;
  runnerOptions.fixture.gapScale = args.run.timeScale;
  FixtureRunner runner(line, runnerOptions);
  if (!runner.Start()) {
    io.err << "tarvex-cli: cannot start the simulated fixture\n";
    return EXIT_FAILED;
  }
  Introduce(*load.image, line.SlavePath(), args.run.timeScale, io);

  const SessionOptions options = MakeSessionOptions(args.run, outputs, JobKind::Download, io);
  const auto result = RunSession(&*load.image, {line.SlavePath()}, options, io);
  ReportFailures(result, options.kind, io.err);
  if (result.interrupted) {
    runner.Stop();
    return result.interruptStatus;
  }
  const bool intact = ReportFixture(runner, *load.image, io);
  const int code = ExitCodeFor(result, options.kind);
  if (code != EXIT_OK) {
    return code;
  }
  return intact ? EXIT_OK : EXIT_FAILED;
}

}  // namespace tarvex::cli
