// Runs one job per port at once (a production line flashes several fixtures in one go), shows
// their progress, and stops them all on Ctrl-C, SIGTERM or a hang-up.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/report_file.h"
#include "cli/run_record.h"
#include "cli/trace_writer.h"
#include "image/image_loader.h"

namespace tarvex::cli {

// Quiet: errors and the summary only; verbose: also each frame as it goes out.
enum class Verbosity { Quiet, Normal, Verbose };

struct SessionOptions {
  JobKind kind = JobKind::Download;
  double timeScale = 1.0;  // 1 = the real pace
  // Opened by the command before any port; null: none.
  TraceWriter* trace = nullptr;
  ReportFile* report = nullptr;
  Verbosity verbosity = Verbosity::Normal;
  bool terminal = false;  // draw a live progress display instead of plain lines
};

struct SessionResult {
  bool interrupted = false;
  int interruptStatus = EXIT_INTERRUPTED;  // the exit status the interrupt called for
  bool recordLost = false;  // the report file could not take a record: the run is not proven
  std::vector<PortResult> ports;
};

// Runs the jobs, then prints each port's summary (and "2 of 3 ports OK" for several) on
// `io.out` and writes the trace's last records and the report's records. `image` must be null
// for a test job.
SessionResult RunSession(const FirmwareImage* image, const std::vector<std::string>& ports,
                         const SessionOptions& options, Io io);

// From pressing Download to "Download Complete!" at this time scale; 0 for a test or an image
// that can no longer be read.
std::chrono::milliseconds PlannedDuration(const FirmwareImage* image, double timeScale);

// The share of a job shown on its progress bar: the planned time gone by, below 100 % until
// the job has finished (a schedule is exact, so time is the honest measure of progress).
double DoneShare(std::chrono::milliseconds elapsed, std::chrono::milliseconds planned,
                 bool finished);

// 0 when every port reached its goal (and its report record was written), the interrupt's
// status (130, or 129 for a hang-up) after one, 1 otherwise.
int ExitCodeFor(const SessionResult& result, JobKind kind);

// One line on `err` per port that did not reach its goal, with the reason and the fix.
void ReportFailures(const SessionResult& result, JobKind kind, std::ostream& err);

}  // namespace tarvex::cli
