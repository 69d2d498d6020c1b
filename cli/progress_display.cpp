#include "cli/progress_display.h"

#include <fmt/format.h>

#include <algorithm>
#include <ostream>
#include <string_view>
#include <utility>

namespace tarvex::cli {

namespace {

constexpr std::size_t BAR_WIDTH = 24;      // characters inside the brackets
constexpr std::size_t SHORTEST_NAME = 12;  // columns a shortened port name keeps at least

std::size_t Filled(double done, std::size_t width) {
  return static_cast<std::size_t>(std::clamp(done, 0.0, 1.0) * static_cast<double>(width));
}

std::string Bar(double done, std::size_t width) {
  const std::size_t filled = Filled(done, width);
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

std::string Percent(double done) {
  return fmt::format("{:3}%", Filled(done, 100));
}

// Columns a UTF-8 text takes, one per character (the display's own texts are narrow).
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The longest start of `text` that fits `columns`, never cutting a character in two.
std::string CutToColumns(const std::string& text, std::size_t columns) {
  std::size_t taken = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && taken++ == columns) {
      return text.substr(0, i);
    }
  }
  return text;
}

// "/dev/serial/by-id/usb-FTDI_FT232R-if00" in 16 columns: "/dev/se...R-if00"; the end of a name
// tells adapters apart, the start tells the kind.
std::string ShortenMiddle(const std::string& name, std::size_t columns) {
  constexpr std::string_view ELLIPSIS = "...";
  if (name.size() <= columns || columns <= ELLIPSIS.size() + 2) {
    return name.size() <= columns ? name : name.substr(0, columns);
  }
  const std::size_t kept = columns - ELLIPSIS.size();
  const std::size_t head = kept / 2;
  return name.substr(0, head) + std::string(ELLIPSIS) + name.substr(name.size() - (kept - head));
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
  if (total >= 3600) {
    return fmt::format("{}:{:02}:{:02}", total / 3600, total / 60 % 60, total % 60);
  }
  return fmt::format("{}:{:02}", total / 60, total % 60);
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

std::string FitProgressLine(const PortProgress& line, std::size_t portWidth, std::size_t columns) {
  const std::string full = FormatProgressLine(line, portWidth, BAR_WIDTH);
  const std::size_t limit = columns == 0 ? 0 : columns - 1;
  if (columns == 0 || Columns(full) <= limit) {
    return full;
  }
  const auto named = [&](std::size_t nameWidth, const std::string& rest) {
    std::string port = ShortenMiddle(line.port, nameWidth);
    port.resize(std::max(nameWidth, port.size()), ' ');
    return port + rest;
  };
  if (!line.ending.empty()) {
    return CutToColumns(named(std::min(portWidth, SHORTEST_NAME), "  " + line.ending), limit);
  }
  const std::string percent = Percent(line.done);
  const std::string left = "  " + FormatRemaining(line.remaining) + " left";
  const std::string status = "  " + line.status + "  ";
  // The name gives way first, down to its shortest; then the bar, then the time left.
  for (const std::string& rest : {status + Bar(line.done, BAR_WIDTH) + " " + percent + left,
                                  status + percent + left, status + percent}) {
    if (Columns(rest) + SHORTEST_NAME <= limit) {
      return named(std::min(portWidth, limit - Columns(rest)), rest);
    }
  }
  return CutToColumns(named(SHORTEST_NAME, status + percent), limit);
}

ProgressDisplay::ProgressDisplay(std::ostream& out, bool terminal,
                                 std::function<std::size_t()> columns)
    : out_(out), terminal_(terminal), columns_(std::move(columns)) {}

void ProgressDisplay::Draw(const std::vector<PortProgress>& lines) {
  // An output whose reader went away (a pipe closed, the terminal hung up) is given up on.
  if (!out_) {
    return;
  }
  if (terminal_) {
    DrawTerminal(lines);
  } else {
    DrawPlain(lines);
  }
  out_.flush();
}

void ProgressDisplay::PrintAbove(const std::vector<std::string>& texts) {
  if (texts.empty() || !out_) {
    return;
  }
  if (terminal_ && linesDrawn_ > 0) {
    // Up to the first live line and erase it and all below, then draw them again under the texts.
    if (linesDrawn_ > 1) {
      out_ << "\x1b[" << (linesDrawn_ - 1) << "A";
    }
    out_ << "\r\x1b[J";
  }
  for (const std::string& text : texts) {
    out_ << text << '\n';
  }
  if (terminal_ && linesDrawn_ > 0) {
    out_ << lastDrawing_;
  }
  out_.flush();
}

void ProgressDisplay::DrawTerminal(const std::vector<PortProgress>& lines) {
  const auto width = PortWidth(lines);
  const std::size_t columns = columns_ ? columns_() : 0;
  std::string drawing;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    drawing += "\r\x1b[2K" + FitProgressLine(lines[i], width, columns);
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
    // One port's summary follows at once and says the same; of several, one may end long before
    // the others.
    if (lines.size() > 1 && !lines[i].ending.empty() && !endingPrinted_[i]) {
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
