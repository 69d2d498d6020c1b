// What went out on each port, as the jobs' trace hooks see it: counts for the end-of-run summary
// and, with -v, one line per frame for the display to print. Fed from the pacing workers.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/trace_event.h"

namespace tarvex::cli {

struct FramesSent {
  std::uint64_t frames = 0;  // of which the port took at least one byte
  std::uint64_t bytes = 0;   // bytes the port took
};

// "COM1  +31.140 s  state 4  BlockFrame  1033 bytes at 115200 8O1"
std::string FrameLine(const std::string& port, const TraceEvent& event);

class FrameLog {
 public:
  // `verbose`: also keep a line per frame until Take() collects it.
  FrameLog(std::size_t ports, bool verbose) : sent_(ports), verbose_(verbose) {}

  // Thread-safe.
  void Add(std::size_t portIndex, const std::string& port, const TraceEvent& event);
  FramesSent Sent(std::size_t portIndex) const;
  // The frame lines kept since the last call, oldest first.
  std::vector<std::string> Take();

 private:
  mutable std::mutex mutex_;
  std::vector<FramesSent> sent_;
  std::vector<std::string> lines_;
  bool verbose_;
};

}  // namespace tarvex::cli
