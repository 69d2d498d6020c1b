// --trace: one JSON line per frame written, from every job of the session.
#pragma once

#include <fstream>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

#include "link/os_error.h"
#include "protocol/trace_event.h"

namespace tarvex::cli {

// {"t_ms":31140,"port":"COM1","state":4,"frame":"BlockFrame","length":1033,
//  "settings":"115200 8O1","baud":115200,"parity":"odd","stop_bits":1,"written":1033}
std::string TraceLine(const std::string& port, const TraceEvent& event);

class TraceWriter;

// Opens the --trace file (none when `path` is empty). False, with the reason on `err`, when it
// cannot be written: a usage error, found before any port is touched.
bool OpenTrace(const std::string& path, std::unique_ptr<TraceWriter>& trace, std::ostream& err);

class TraceWriter {
 public:
  // Creates or truncates the file; the error says why when it cannot.
  OsError Open(const std::string& path);
  // Thread-safe; every line is flushed so that a trace survives a crash or a kill.
  void Write(const std::string& port, const TraceEvent& event);

 private:
  std::mutex mutex_;
  std::ofstream file_;
};

}  // namespace tarvex::cli
