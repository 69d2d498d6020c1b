// The end of a run: each port's summary for the operator, its last trace record and its report
// record, then "2 of 3 ports OK" when there were several ports.
#pragma once

#include <vector>

#include "cli/commands.h"
#include "cli/report_file.h"
#include "cli/run_record.h"
#include "cli/trace_writer.h"

namespace tarvex::cli {

struct SessionEnd {
  JobKind kind = JobKind::Download;
  const FirmwareImage* image = nullptr;  // null for a test job
  TraceWriter* trace = nullptr;
  ReportFile* report = nullptr;
};

// False when a trace line or a report record could not be written (the file and the reason are
// on `io.err`).
bool EndSession(const std::vector<PortResult>& ports, const SessionEnd& end, Io io);

}  // namespace tarvex::cli
