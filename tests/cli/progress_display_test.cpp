#include "cli/progress_display.h"

#include "cli/job_session.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvex::cli {
namespace {

using std::chrono::milliseconds;

TEST(FormatRemaining, RoundsUpToWholeSecondsAndShowsHoursPastAnHour) {
  const struct {
    std::int64_t ms;
    const char* text;
  } cases[] = {{-5, "0:00"},     {0, "0:00"},      {1, "0:01"},          {59'000, "0:59"},
               {59'001, "1:00"}, {65'000, "1:05"}, {3'599'000, "59:59"}, {3'723'000, "1:02:03"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatRemaining(milliseconds{c.ms}), c.text) << c.ms;
  }
}

TEST(FormatProgressLine, ShowsBarPercentAndTimeLeft) {
  const PortProgress line{"COM1", "Downloading... 2/3", {}, 0.5, milliseconds{12'000}, ""};
  const auto text = FormatProgressLine(line, 6, 10);
  EXPECT_EQ(text.rfind("COM1    Downloading... 2/3", 0), 0u) << text;
  EXPECT_NE(text.find("[#####.....]  50%"), std::string::npos) << text;
  EXPECT_NE(text.find("0:12 left"), std::string::npos) << text;
}

TEST(FormatProgressLine, EmptyRangeAndOverrunStayInsideTheBar) {
  const PortProgress empty{"p", "QORVAL...", {}, 0.0, milliseconds{0}, ""};
  EXPECT_NE(FormatProgressLine(empty, 1, 4).find("[....]   0%"), std::string::npos);
  const PortProgress over{"p", "x", {}, 1.5, milliseconds{0}, ""};
  EXPECT_NE(FormatProgressLine(over, 1, 4).find("[####] 100%"), std::string::npos);
}

TEST(FormatProgressLine, AJobThatEndedShortSaysWhyInsteadOfABar) {
  const PortProgress failed{
      "COM2", "QORVAL...",          {},
      0.1,    milliseconds{40'000}, "FAILED: Open CommPort Fail: no such device"};
  EXPECT_EQ(FormatProgressLine(failed, 5, 10), "COM2   FAILED: Open CommPort Fail: no such device");
}

// Characters, as a terminal counts them for these texts.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (const char c : text) {
    width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  }
  return width;
}

TEST(FitProgressLine, KeepsEveryLineInsideTheTerminalAndTheStatusLongest) {
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  const PortProgress running{byId, "Downloading... 2/3", {}, 0.45, milliseconds{12'000}, ""};
  const PortProgress failed{byId, "", {}, 0.0, milliseconds{0}, "FAILED: 文件出错 and more words"};
  const struct {
    std::size_t columns;
    const char* has;     // in the running line
    const char* hasNot;  // not in it
  } cases[] = {{200, "[##########", nullptr},
               {80, "Downloading... 2/3  [", nullptr},
               {60, "0:12 left", "["},
               {40, "Downloading... 2/3", "left"},
               {20, "/dev", nullptr}};
  for (const auto& c : cases) {
    for (const PortProgress* line : {&running, &failed}) {
      const std::string fitted = FitProgressLine(*line, byId.size(), c.columns);
      EXPECT_LT(Width(fitted), c.columns) << c.columns << ": " << fitted;
      // Never half a character: the cut keeps whole UTF-8 sequences.
      EXPECT_NE(static_cast<unsigned char>(fitted.back()) & 0xC0, 0xC0u) << fitted;
    }
    const std::string fitted = FitProgressLine(running, byId.size(), c.columns);
    EXPECT_NE(fitted.find(c.has), std::string::npos) << c.columns << ": " << fitted;
    if (c.hasNot != nullptr) {
      EXPECT_EQ(fitted.find(c.hasNot), std::string::npos) << c.columns << ": " << fitted;
    }
  }
  // A shortened name keeps its start and its end, which tell the kind and the adapter.
  const std::string at80 = FitProgressLine(running, byId.size(), 80);
  EXPECT_EQ(at80.rfind("/dev/", 0), 0u) << at80;
  EXPECT_NE(at80.find("...-port0  Downloading"), std::string::npos) << at80;
}

TEST(DoneShare, IsTheTimeGoneByAndReaches100OnlyAtTheEnd) {
  const struct {
    std::int64_t elapsedMs;
    std::int64_t plannedMs;
    bool finished;
    double share;
  } cases[] = {{0, 40'000, false, 0.0},
               {20'000, 40'000, false, 0.5},
               {50'000, 40'000, false, 0.99},
               {100, 0, false, 0.0},
               {10'000, 40'000, true, 1.0}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(DoneShare(milliseconds{c.elapsedMs}, milliseconds{c.plannedMs}, c.finished),
                     c.share)
        << c.elapsedMs << " of " << c.plannedMs;
  }
}

TEST(ProgressDisplay, PlainOutputPrintsEveryStatusOnceInOrder) {
  std::ostringstream out;
  ProgressDisplay display(out, false);
  PortProgress line{"COM1", "Start...", {"QORVAL...", "Start..."}, 0.0, milliseconds{0}, ""};
  display.Draw({line});
  line.statusHistory.push_back("Downloading... 1/1");
  line.statusHistory.push_back("Waitting for Reset...");
  display.Draw({line});
  display.Draw({line});
  display.Finish();
  EXPECT_EQ(out.str(), "QORVAL...\nStart...\nDownloading... 1/1\nWaitting for Reset...\n");
}

TEST(ProgressDisplay, PlainOutputNamesThePortWhenThereAreSeveral) {
  std::ostringstream out;
  ProgressDisplay display(out, false);
  std::vector<PortProgress> lines{
      {"COM1", "", {"QORVAL..."}, 0.0, milliseconds{0}, ""},
      {"COM2", "", {}, 0.0, milliseconds{0}, "FAILED: Open CommPort Fail"}};
  display.Draw(lines);
  display.Draw(lines);  // an ending, like a status, is printed once
  EXPECT_EQ(out.str(), "COM1: QORVAL...\nCOM2: FAILED: Open CommPort Fail\n");
}

TEST(ProgressDisplay, TerminalOutputRedrawsTheSameLinesInPlaceOnlyWhenTheyChange) {
  std::ostringstream out;
  ProgressDisplay display(out, true);
  std::vector<PortProgress> lines{{"COM1", "a", {}, 0.0, milliseconds{0}, ""},
                                  {"COM2", "b", {}, 0.0, milliseconds{0}, ""}};
  display.Draw(lines);
  EXPECT_EQ(out.str().find("\x1b[1A"), std::string::npos);
  const auto first = out.str().size();
  display.Draw(lines);
  EXPECT_EQ(out.str().size(), first) << "an unchanged drawing is not written again";
  lines[1].status = "c";
  display.Draw(lines);
  // The new drawing first moves back up to the first of the two lines.
  EXPECT_EQ(out.str().find("\x1b[1A"), first);
  display.Finish();
  EXPECT_EQ(out.str().back(), '\n');
}

}  // namespace
}  // namespace tarvex::cli
