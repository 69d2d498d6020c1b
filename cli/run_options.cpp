#include "cli/run_options.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/option_checks.h"
#include "cli/terminal.h"
#include "cli/time_scale_option.h"

namespace tarvex::cli {

void AddRunOptions(CLI::App& command, RunArgs& args) {
  command
      .add_option("--trace", args.tracePath,
                  "Write one JSON line per frame sent (time, state, frame, length, settings), "
                  "between a first record (tool, image) and a last one per port (outcome)")
      ->type_name("FILE")
      ->check(OutputFileCheck());
  command
      .add_option("--report", args.reportPath,
                  "Append one JSON line per port to FILE (times, host, port, device, image, "
                  "outcome); safe for several tarvex-cli processes at once")
      ->type_name("FILE")
      ->check(OutputFileCheck());
  auto* quiet =
      command.add_flag("-q,--quiet", args.quiet, "No progress: errors and the summary only");
  command.add_flag("-v,--verbose", args.verbose, "Also show each frame as it goes out")
      ->excludes(quiet);
  AddTimeScaleOption(command, args.timeScale, "Scale every pause (testing only)");
}

bool OpenOutputs(const RunArgs& args, RunOutputs& outputs, std::ostream& err) {
  if (!OpenTrace(args.tracePath, outputs.trace, err)) {
    return false;
  }
  if (args.reportPath.empty()) {
    return true;
  }
  outputs.report = std::make_unique<ReportFile>();
  if (const OsError error = outputs.report->Open(args.reportPath)) {
    err << "tarvex-cli: cannot write the report file " << args.reportPath << ": " << error.Message()
        << '\n';
    outputs.report.reset();
    return false;
  }
  return true;
}

SessionOptions MakeSessionOptions(const RunArgs& args, const RunOutputs& outputs, JobKind kind,
                                  const Io& io) {
  SessionOptions options;
  options.kind = kind;
  options.timeScale = args.timeScale;
  options.trace = outputs.trace.get();
  options.report = outputs.report.get();
  options.verbosity =
      args.quiet ? Verbosity::Quiet : (args.verbose ? Verbosity::Verbose : Verbosity::Normal);
  options.terminal = IsLiveTerminal(io.out);
  return options;
}

}  // namespace tarvex::cli
