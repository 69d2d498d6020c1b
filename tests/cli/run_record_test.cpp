// How a port's end is told: the summary line, the --report record and the report file itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli/frame_log.h"
#include "cli/report_file.h"
#include "cli/run_record.h"
#include "cli/trace_writer.h"
#include "image/image_loader.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex::cli {
namespace {

using std::chrono::milliseconds;

PortResult Ended(JobOutcome outcome, std::vector<std::string> messages, OsError error) {
  PortResult port;
  port.port = "COM3";
  port.outcome = outcome;
  port.messages = std::move(messages);
  port.error = std::move(error);
  port.sent = {5, 1200};
  port.started = std::chrono::system_clock::time_point{milliseconds(1796824987250)};
  port.ended = port.started + milliseconds(43210);
  return port;
}

TEST(RunRecord, GoodFailedAndStoppedPortsAreToldApartInTheSummaryAndTheReport) {
  test::TempDir dir;
  const auto path = test::WriteImage(dir.File("a.zfr"), test::SimpleImagePlan()).string();
  const FirmwareImage image = *LoadImage(path).image;
  const ReportContext context{JobKind::Download, &image, "line-7", "/dev/ttyUSB0", "A12345"};
  const struct {
    PortResult port;
    const char* summary;  // the start of the line
    const char* outcome;
    nlohmann::json reason;
  } cases[] = {
      {Ended(JobOutcome::Completed, {}, {}), "COM3: OK, 1200 bytes in 5 frames in 43.2 s; ", "OK",
       nullptr},
      // The fix stays out of the record, and nothing is nested in the line.
      {Ended(JobOutcome::OpenFailed, {"Open CommPort Fail"},
             GenericError(std::errc::no_such_file_or_directory,
                          "no such device: see `tarvex-cli ports`")),
       "COM3: FAILED, 1200 bytes", "FAILED",
       "Open CommPort Fail: no such device (No such file or directory)"},
      {Ended(JobOutcome::Cancelled, {}, {}), "COM3: STOPPED, 1200 bytes", "STOPPED", "stopped"},
  };
  for (const auto& c : cases) {
    const std::string summary = SummaryLine(c.port, JobKind::Download, &image);
    EXPECT_EQ(summary.rfind(c.summary, 0), 0u) << summary;
    EXPECT_NE(summary.find("model \"TEST MODEL\", CRC 0x"), std::string::npos) << summary;

    const auto record = nlohmann::json::parse(JsonLine(ReportRecord(c.port, context)));
    EXPECT_EQ(record["start"], "2026-12-09T14:03:07.250Z");
    EXPECT_EQ(record["end"], "2026-12-09T14:03:50.460Z");
    EXPECT_EQ(record["host"], "line-7");
    EXPECT_EQ(record["port"], "COM3");
    EXPECT_EQ(record["device"], "/dev/ttyUSB0");
    EXPECT_EQ(record["usb_serial"], "A12345");
    EXPECT_EQ(record["image"], path);
    EXPECT_EQ(record["model"], "TEST MODEL");
    EXPECT_EQ(record["image_crc"], ImageCrcField(image.header));
    EXPECT_EQ(record["bytes_sent"], 1200);
    EXPECT_EQ(record["outcome"], c.outcome);
    if (c.reason.is_null()) {
      EXPECT_TRUE(record["reason"].is_null()) << record;
    } else {
      EXPECT_EQ(record["reason"], c.reason) << record;
    }
    EXPECT_EQ(record["tool"].get<std::string>().rfind("tarvex-cli ", 0), 0u);
    EXPECT_EQ(EndRecord(c.port, JobKind::Download)["t_ms"], 43210);
  }
}

// A record is read elsewhere and later: it names the image wherever it was started from.
TEST(RunRecord, NamesTheImageByItsAbsolutePath) {
  FirmwareImage image;
  image.path = "./sub/../a.zfr";
  const ReportContext context{JobKind::Download, &image, "", "", ""};
  const auto record = ReportRecord(Ended(JobOutcome::Completed, {}, {}), context);
  EXPECT_EQ(record["image"], (std::filesystem::current_path() / "a.zfr").string());
}

// A frame of which the port took nothing was not sent.
TEST(FrameLog, CountsOnlyFramesThePortTook) {
  FrameLog log(1, false);
  TraceEvent event;
  event.length = 21;
  log.Add(0, "COM3", event);
  event.written = 8;
  log.Add(0, "COM3", event);
  EXPECT_EQ(log.Sent(0).frames, 1u);
  EXPECT_EQ(log.Sent(0).bytes, 8u);
}

// Each writer has its own open file, as two tarvex-cli processes would.
TEST(ReportFile, WritersSharingTheFileKeepEveryLineWhole) {
  test::TempDir dir;
  const auto path = dir.File("report.jsonl").string();
  std::ofstream(path) << "{\"earlier\":true}\n";
  constexpr int WRITERS = 4;
  constexpr int LINES = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < WRITERS; ++w) {
    writers.emplace_back([&path, w] {
      ReportFile file;
      ASSERT_FALSE(file.Open(path));
      const std::string filler(3000 + w, static_cast<char>('a' + w));
      for (int i = 0; i < LINES; ++i) {
        ASSERT_FALSE(file.AppendLine(JsonLine(Json{{"writer", w}, {"i", i}, {"x", filler}})));
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  std::ifstream in(path);
  std::vector<int> next(WRITERS, 0);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "{\"earlier\":true}");
  int count = 0;
  for (; std::getline(in, line); ++count) {
    const auto record = nlohmann::json::parse(line);  // throws on a torn line
    const int w = record["writer"];
    EXPECT_EQ(record["i"], next[w]++);
  }
  EXPECT_EQ(count, WRITERS * LINES);
}

}  // namespace
}  // namespace tarvex::cli
