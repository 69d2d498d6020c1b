// Shows the jobs of a download: on a terminal one line per port, redrawn in place, with a
// progress bar and the time left; otherwise plain lines, one each time a status text changes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace tarvex::cli {

struct PortProgress {
  std::string port;
  std::string status;
  std::vector<std::string> statusHistory;  // plain output prints each entry once
  double done = 0.0;                       // 0 to 1, for the bar and the percentage
  std::chrono::milliseconds remaining{0};
  // Once the port's job is over without reaching its goal: "FAILED" or "stopped".
  std::string ending;
};

// One display line: "COM1  Downloading... 2/3  [#######.......]  45%  0:12 left", or
// "COM2  FAILED" once the port's job has failed.
std::string FormatProgressLine(const PortProgress& line, std::size_t portWidth,
                               std::size_t barWidth);
// The same line fitted into `columns` (0: no limit) without ever filling the last column, where
// some terminals wrap: first the port name loses its middle, then the bar goes, then the time
// left; the status text stays as long as anything does.
std::string FitProgressLine(const PortProgress& line, std::size_t portWidth, std::size_t columns);
// "1:05" for 65 s, "1:02:03" past an hour; rounded up so that 0:00 shows only at the end.
std::string FormatRemaining(std::chrono::milliseconds remaining);

class ProgressDisplay {
 public:
  // `columns` tells the terminal's width at each redraw; empty or 0: no limit.
  ProgressDisplay(std::ostream& out, bool terminal, std::function<std::size_t()> columns = {});
  void Draw(const std::vector<PortProgress>& lines);
  // Prints `texts` as lines of their own above the live lines, which stay where they were drawn.
  void PrintAbove(const std::vector<std::string>& texts);
  // Leaves the last drawing on screen and moves below it.
  void Finish();

 private:
  void DrawTerminal(const std::vector<PortProgress>& lines);
  void DrawPlain(const std::vector<PortProgress>& lines);

  std::ostream& out_;
  bool terminal_;
  std::function<std::size_t()> columns_;
  std::size_t linesDrawn_ = 0;
  std::string lastDrawing_;           // skipped when unchanged
  std::vector<std::size_t> printed_;  // statusHistory entries printed, per line
  std::vector<bool> endingPrinted_;   // per line
};

}  // namespace tarvex::cli
