#include "cli/frame_log.h"

#include <fmt/format.h>

#include <utility>

namespace tarvex::cli {

std::string FrameLine(const std::string& port, const TraceEvent& event) {
  std::string line = fmt::format("{}  +{:.3f} s  state {}  {}  {} bytes at {}", port,
                                 static_cast<double>(event.sinceStart.count()) / 1000.0,
                                 event.state, event.frame, event.length, Describe(event.settings));
  if (event.written != event.length) {
    line += fmt::format(" (only {} written)", event.written);
  }
  return line;
}

void FrameLog::Add(std::size_t portIndex, const std::string& port, const TraceEvent& event) {
  std::string line = verbose_ ? FrameLine(port, event) : std::string();
  std::lock_guard lock(mutex_);
  // A frame of which the port took nothing was not sent; its line still says so.
  sent_.at(portIndex).frames += event.written > 0 ? 1 : 0;
  sent_.at(portIndex).bytes += event.written;
  if (verbose_) {
    lines_.push_back(std::move(line));
  }
}

FramesSent FrameLog::Sent(std::size_t portIndex) const {
  std::lock_guard lock(mutex_);
  return sent_.at(portIndex);
}

std::vector<std::string> FrameLog::Take() {
  std::lock_guard lock(mutex_);
  return std::exchange(lines_, {});
}

}  // namespace tarvex::cli
