// How one port's job ended, told three ways: a summary line for the operator, a --report
// record, and the trace's last record.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/frame_log.h"
#include "cli/json_output.h"
#include "image/image_loader.h"
#include "platform/os_error.h"
#include "protocol/job_outcome.h"

namespace tarvex::cli {

enum class JobKind { Download, Test };

// The outcome a job of this kind aims at.
JobOutcome Goal(JobKind kind);

struct PortResult {
  std::string port;
  JobOutcome outcome = JobOutcome::None;
  OsError error;
  std::string detail;                 // what the messages leave out, e.g. how the file changed
  std::vector<std::string> messages;  // message boxes the job showed
  std::string lastStatus;
  FramesSent sent;
  std::chrono::system_clock::time_point started;
  std::chrono::system_clock::time_point ended;
};

// What went wrong, with the system's reason but not the fix, as records keep it: "Open CommPort
// Fail: no such device (No such file or directory)".
std::string Reason(const PortResult& port);
// The fix, for a person: "see `tarvex-cli ports`"; empty when none is known.
std::string Advice(const PortResult& port);

// "OK", "FAILED" or "STOPPED".
std::string OutcomeWord(const PortResult& port, JobKind kind);

// "COM1: OK, 1534 bytes in 9 frames in 43.2 s; image model \"VUN D7\", CRC 0x1A2B3C4D,
// 2 segments"; "COM1: FAILED, 0 bytes in 0 frames in 0.0 s; ..." for a failed port, whose reason
// ReportFailures gives (`image` is null for a test job).
std::string SummaryLine(const PortResult& port, JobKind kind, const FirmwareImage* image);

// "2026-12-09T14:03:07.250Z"
std::string IsoUtc(std::chrono::system_clock::time_point time);

struct ReportContext {
  JobKind kind = JobKind::Download;
  const FirmwareImage* image = nullptr;
  std::string host;
  std::string device;     // the device the port name resolved to
  std::string usbSerial;  // of the USB adapter behind the port; empty when none is known
};

// "download" or "test", as records name a job.
const char* JobName(JobKind kind);
// The image's absolute path, model, CRC and payload length, as the report and the trace record
// them.
void AddImageIdentity(Json& record, const FirmwareImage& image);

// One --report line's object.
Json ReportRecord(const PortResult& port, const ReportContext& context);

}  // namespace tarvex::cli
