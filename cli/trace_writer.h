// --trace: one JSON line per frame written, from every job of the session, between a first
// record that names the tool and the image and a last record per port that tells how it ended,
// so that a trace alone shows whether a run worked.
#pragma once

#include <fstream>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/run_record.h"
#include "platform/os_error.h"
#include "protocol/trace_event.h"

namespace tarvex::cli {

// {"record":"frame","t_ms":31140,"port":"COM1","state":4,"frame":"BlockFrame","length":1033,
//  "settings":"115200 8O1","baud":115200,"parity":"odd","stop_bits":1,"written":1033}
Json FrameRecord(const std::string& port, const TraceEvent& event);
// {"record":"start","tool":"tarvex-cli 1.0.0.3","job":"download","ports":["COM1"],
//  "image":"a.zfr","model":"VUN D7","image_crc":439041101,"payload_length":1734}
Json StartRecord(JobKind kind, const std::vector<std::string>& ports, const FirmwareImage* image);
// {"record":"end","t_ms":43210,"port":"COM1","outcome":"FAILED","reason":"Open CommPort Fail: ...",
//  "frames_sent":0,"bytes_sent":0}
Json EndRecord(const PortResult& port, JobKind kind);

class TraceWriter;

// Opens the --trace file (none when `path` is empty). False, with the reason on `err`, when it
// cannot be written: a usage error, found before any port is touched.
bool OpenTrace(const std::string& path, std::unique_ptr<TraceWriter>& trace, std::ostream& err);

class TraceWriter {
 public:
  // Creates or truncates the file; the error says why when it cannot.
  OsError Open(const std::string& path);
  // Thread-safe; every line is flushed so that a trace survives a crash or a kill. A failed write
  // (a full disk) is kept for Kept(): the job goes on, the run does not end OK.
  void Write(const Json& record);
  // False, with the file and the first failure's reason on `err`, when a line was lost.
  bool Kept(std::ostream& err);

 private:
  std::mutex mutex_;
  std::ofstream file_;
  std::string path_;
  OsError failure_;
};

}  // namespace tarvex::cli
