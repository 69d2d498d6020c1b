// The options shared by the commands that run jobs on ports (download, test, demo): output
// files, verbosity and the time scale, and the opening of those files before any port is touched.
#pragma once

#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/job_session.h"
#include "cli/report_file.h"
#include "cli/trace_writer.h"

namespace CLI {
class App;
}

namespace tarvex::cli {

struct RunArgs {
  std::string tracePath;
  std::string reportPath;
  double timeScale = 1.0;
  bool quiet = false;
  bool verbose = false;
};

// --trace, --report, -q/--quiet, -v/--verbose and the hidden --time-scale.
void AddRunOptions(CLI::App& command, RunArgs& args);

struct RunOutputs {
  std::unique_ptr<TraceWriter> trace;
  std::unique_ptr<ReportFile> report;
};

// Opens every output file. False, with the file and the reason on `err`, when one cannot be
// written: a usage error, found before any port is touched.
bool OpenOutputs(const RunArgs& args, RunOutputs& outputs, std::ostream& err);

SessionOptions MakeSessionOptions(const RunArgs& args, const RunOutputs& outputs, JobKind kind,
                                  const Io& io);

}  // namespace tarvex::cli
