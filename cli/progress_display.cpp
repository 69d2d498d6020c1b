#include "cli/progress_display.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <utility>

namespace tarvex::cli {

namespace {

constexpr std::size_t BAR_WIDTH = 24;  // characters inside the brackets

std::size_t Filled(double done, std::size_t width) {
  return static_cast<std::size_t>(std::clamp(done, 0.0, 1.0) * static_cast<double>(width));
}

std::string Bar(double done, std::size_t width) {
  const std::size_t filled = Filled(done, width);
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

std::string Percent(double done) {
  char text[8];
  std::snprintf(text, sizeof text, "%3u%%", static_cast<unsigned>(Filled(done, 100)));
  return text;
}

std::size_t PortWidth(const std::vector<PortProgress>& lines) {
  std::size_t width = 0;
  for (const auto& line : lines) {
    width = std::max(width, line.port.size());
  }
  return width;
}

}  // namespace

std::string FormatRemaining(std::chrono::milliseconds remaining) {
  const auto ms = std::max<std::int64_t>(0, remaining.count());
  const auto total = (ms + 999) / 1000;
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(total / 60),
                  static_cast<long long>(total % 60));
  }
  return text;
}

std::string FormatProgressLine(const PortProgress& line, std::size_t portWidth,
                               std::size_t barWidth) {
  std::string text = line.port;
  text.resize(std::max(portWidth, line.port.size()), ' ');
  if (!line.ending.empty()) {
    return text + "  " + line.ending;
  }
  std::string status = line.status;
  status.resize(std::max<std::size_t>(status.size(), 22), ' ');
  text += "  " + status + "  " + Bar(line.done, barWidth) + " " + Percent(line.done) + "  " +
          FormatRemaining(line.remaining) + " left";
  return text;
}

ProgressDisplay::ProgressDisplay(std::ostream& out, bool terminal)
    : out_(out), terminal_(terminal) {}

void ProgressDisplay::Draw(const std::vector<PortProgress>& lines) {
  if (terminal_) {
    DrawTerminal(lines);
  } else {
    DrawPlain(lines);
  }
  out_.flush();
}

void ProgressDisplay::DrawTerminal(const std::vector<PortProgress>& lines) {
  const auto width = PortWidth(lines);
  std::string drawing;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    drawing += "\r\x1b[2K" + FormatProgressLine(lines[i], width, BAR_WIDTH);
    if (i + 1 < lines.size()) {
      drawing += '\n';
    }
  }
  if (drawing == lastDrawing_) {
    return;
  }
  // Back to the first line of the previous drawing, then overwrite every line.
  if (linesDrawn_ > 1) {
    out_ << "\x1b[" << (linesDrawn_ - 1) << "A";
  }
  out_ << drawing;
  lastDrawing_ = std::move(drawing);
  linesDrawn_ = lines.size();
}

void ProgressDisplay::DrawPlain(const std::vector<PortProgress>& lines) {
  printed_.resize(lines.size());
  endingPrinted_.resize(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string prefix = lines.size() > 1 ? lines[i].port + ": " : "";
    const auto& history = lines[i].statusHistory;
    for (; printed_[i] < history.size(); ++printed_[i]) {
      out_ << prefix << history[printed_[i]] << '\n';
    }
    if (!lines[i].ending.empty() && !endingPrinted_[i]) {
      out_ << prefix << lines[i].ending << '\n';
      endingPrinted_[i] = true;
    }
  }
}

void ProgressDisplay::Finish() {
  if (terminal_ && linesDrawn_ > 0) {
    out_ << '\n';
    linesDrawn_ = 0;
  }
  out_.flush();
}

}  // namespace tarvex::cli
