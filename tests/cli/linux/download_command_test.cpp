// tarvex-cli download and test over pseudo-terminals, with the simulated fixture at the far end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "image/image_format.h"
#include "image/image_loader.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "sim/pty_line.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"
#include "tools/intel_hex.h"

namespace tarvex::cli {
namespace {

constexpr double TIME_SCALE = 0.002;  // a whole download in well under a second of waits
constexpr auto GENEROUS = std::chrono::seconds(30);

struct Run {
  int code = -1;
  std::string out;
  std::string err;
};

Run Cli(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  Run run;
  run.code = RunCli(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// A simulated fixture listening on a fresh pseudo-terminal.
struct Fixture {
  Fixture() : runner(line, Options()) { EXPECT_TRUE(line.Ok() && runner.Start()); }
  static RunnerOptions Options() {
    RunnerOptions options;
    options.fixture.gapScale = TIME_SCALE;
    options.settle = std::chrono::milliseconds(50);
    options.timeout = GENEROUS;
    return options;
  }
  bool ReceivedIntact(const FirmwareImage& image) {
    runner.Wait();
    const auto verdict = runner.Verdict();
    const auto mismatches = CompareWithImage(verdict, runner.Memory(), image);
    for (const auto& fault : verdict.faults) {
      ADD_FAILURE() << fault.text;
    }
    for (const auto& mismatch : mismatches) {
      ADD_FAILURE() << mismatch;
    }
    return verdict.Intact() && mismatches.empty();
  }
  PtyLine line;
  FixtureRunner runner;
};

class DownloadCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    auto plan = test::SimpleImagePlan();
    imagePath = test::WriteImage(dir.File("good.zfr"), plan).string();
    image = *LoadImage(imagePath).image;
  }
  std::vector<std::string> Download(std::vector<std::string> ports) {
    std::vector<std::string> args{"download", "--time-scale", std::to_string(TIME_SCALE)};
    for (auto& port : ports) {
      args.push_back("--port");
      args.push_back(std::move(port));
    }
    args.push_back(imagePath);
    return args;
  }
  test::TempDir dir;
  std::string imagePath;
  FirmwareImage image;
};

TEST_F(DownloadCommand, DownloadsIntoTheFixtureAndPrintsTheStatusTexts) {
  Fixture fixture;
  auto args = Download({fixture.line.SlavePath()});
  const auto tracePath = dir.File("trace.jsonl").string();
  args.insert(args.begin() + 1, {"--trace", tracePath});
  const auto run = Cli(args);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(fixture.ReceivedIntact(image));
  const auto expected = std::string("QORVAL...\nStart...\nDownloading... 1/2\n") +
                        "Downloading... 2/2\nWaitting for Reset...\nDownload Complete!\n" +
                        fixture.line.SlavePath() + ": OK, 1692 bytes in 9 frames in ";
  EXPECT_EQ(run.out.substr(0, expected.size()), expected);
  EXPECT_NE(run.out.find("; image model \"TEST MODEL\", CRC 0x"), std::string::npos) << run.out;

  // A first record, one per frame (announce, blank, model, size, start, blocks 1024 + 476 + 10,
  // end), and a last record that tells the outcome.
  std::ifstream trace(tracePath);
  std::vector<nlohmann::json> records;
  for (std::string line; std::getline(trace, line);) {
    records.push_back(nlohmann::json::parse(line));
  }
  ASSERT_EQ(records.size(), 11u);
  EXPECT_EQ(records[0]["record"], "start");
  EXPECT_EQ(records[0]["model"], "TEST MODEL");
  EXPECT_EQ(records[0]["payload_length"], PayloadLength(image.header));
  EXPECT_EQ(records[1]["frame"], "AnnounceFrame");
  EXPECT_EQ(records[1]["settings"], "115200 8O1");
  EXPECT_EQ(records[6]["length"], 1033);
  EXPECT_EQ(records[6]["written"], 1033);
  EXPECT_EQ(records[9]["frame"], "EndFrame");
  EXPECT_EQ(records[10]["record"], "end");
  EXPECT_EQ(records[10]["outcome"], "OK");
  EXPECT_GE(records[10]["t_ms"], records[9]["t_ms"]);
  EXPECT_EQ(records[10]["bytes_sent"], 1692);
}

TEST_F(DownloadCommand, SeveralPortsRunAtOnceAndAllMustComplete) {
  Fixture first;
  Fixture second;
  const auto run = Cli(Download({first.line.SlavePath(), second.line.SlavePath()}));
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(first.ReceivedIntact(image));
  EXPECT_TRUE(second.ReceivedIntact(image));
  EXPECT_NE(run.out.find(first.line.SlavePath() + ": Download Complete!"), std::string::npos);
  EXPECT_NE(run.out.find(second.line.SlavePath() + ": Download Complete!"), std::string::npos);
}

TEST_F(DownloadCommand, OnePortThatCannotOpenFailsTheRunWithTheReason) {
  Fixture good;
  const auto missing = dir.File("no-such-port").string();
  const auto run = Cli(Download({good.line.SlavePath(), missing}));
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(good.ReceivedIntact(image));
  // The reason once, with its fix, on the error output; the summary gives the outcome.
  const std::string reason = "Open CommPort Fail: no such device (No such file or directory)";
  EXPECT_EQ(run.err, "tarvex-cli: " + missing + ": " + reason + "; see `tarvex-cli ports`\n");
  EXPECT_NE(run.out.find(missing + ": FAILED, 0 bytes"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("no such device"), std::string::npos) << run.out;
  // Its line said so at once, and the run ends with one summary.
  EXPECT_NE(run.out.find(missing + ": FAILED\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("1 of 2 ports OK\n"), std::string::npos) << run.out;
}

// A production line's run: quiet, two fixtures and a port that is not there, one report record
// each.
TEST_F(DownloadCommand, QuietRunEndsWithSummariesAndAppendsOneReportRecordPerPort) {
  Fixture first;
  Fixture second;
  const auto missing = dir.File("no-such-port").string();
  const auto reportPath = dir.File("report.jsonl").string();
  auto args = Download({first.line.SlavePath(), second.line.SlavePath(), missing});
  args.insert(args.begin() + 1, {"-q", "--report", reportPath});
  const auto run = Cli(args);
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(first.ReceivedIntact(image));
  EXPECT_TRUE(second.ReceivedIntact(image));
  EXPECT_EQ(run.out.find("QORVAL"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(first.line.SlavePath() + ": OK, "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(missing + ": FAILED, 0 bytes"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 16), "2 of 3 ports OK\n") << run.out;

  std::ifstream report(reportPath);
  std::vector<std::string> outcomes;
  for (std::string line; std::getline(report, line);) {
    const auto record = nlohmann::json::parse(line);
    EXPECT_EQ(record["image"], imagePath);
    outcomes.push_back(record["outcome"].get<std::string>() + " " +
                       record["port"].get<std::string>());
  }
  EXPECT_EQ(outcomes,
            (std::vector<std::string>{"OK " + first.line.SlavePath(),
                                      "OK " + second.line.SlavePath(), "FAILED " + missing}));
}

TEST_F(DownloadCommand, UsageAndImageErrorsStopBeforeAnyPortIsOpened) {
  Fixture fixture;
  const auto damaged = dir.File("damaged.zfr").string();
  const auto unwritable = dir.File("no-such-folder/out").string();
  const auto alias = dir.File("by-id-link").string();
  std::filesystem::create_symlink(fixture.line.SlavePath(), alias);
  auto plan = test::SimpleImagePlan();
  plan.imageCrc = 0x12345678;
  test::WriteImage(damaged, plan);
  const struct {
    std::vector<std::string> args;
    int code;
    const char* err;
  } cases[] = {
      {{"download", "--port", fixture.line.SlavePath(), damaged}, 3, "CRC"},
      {{"download", imagePath}, 2, "--port"},
      {{"download", "--port", "COM1", "--port", "COM1", imagePath}, 2, "only once"},
      {{"download", "--port", fixture.line.SlavePath(), "--port", alias, imagePath},
       2,
       "are the same device"},
      {{"test"}, 2, "--port"},
      {{"test", "--port", ""}, 2, "must name a port"},
      // Output files that cannot be written are found before any port or fixture starts.
      {{"download", "--port", fixture.line.SlavePath(), "--trace", unwritable, imagePath},
       2,
       "cannot write the trace file"},
      {{"demo", "--trace", unwritable}, 2, "cannot write the trace file"},
      {{"test", "--port", fixture.line.SlavePath(), "--report", unwritable},
       2,
       "cannot write the report file"},
      {{"download", "-q", "-v", "--port", fixture.line.SlavePath(), imagePath}, 2, "excludes"},
      {{"simulate", "--out", unwritable}, 2, "cannot write"},
  };
  for (const auto& c : cases) {
    const auto run = Cli(c.args);
    EXPECT_EQ(run.code, c.code) << c.args.back();
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  fixture.runner.Stop();
  EXPECT_FALSE(fixture.runner.Verdict().anythingReceived);
}

TEST(TestCommand, SendsTheTestCodeAtTheTestSettings) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const auto run = Cli({"test", "--port", line.SlavePath()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(
      run.out.rfind("Send Test Code !\n" + line.SlavePath() + ": OK, 16 bytes in 1 frame in", 0),
      0u)
      << run.out;
  const auto bytes = line.ReadFor(16, std::chrono::seconds(5));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ZEFRA COMM TEST ");
}

// Without --port, TARVEX_PORT names the port.
TEST(TestCommand, APortThatCannotOpenGivesExitOne) {
  test::TempDir dir;
  const auto absent = dir.File("absent").string();
  ASSERT_EQ(setenv("TARVEX_PORT", absent.c_str(), 1), 0);
  const auto run = Cli({"test"});
  unsetenv("TARVEX_PORT");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(absent + ": Open CommPort Fail"), std::string::npos) << run.err;
}

// An image made by pack and checked by info goes down the line; what the fixture received, packed
// again, is the same image, and unpack gives each input back byte for byte. The model needs no
// wake-up: at this time scale the wake frame would follow the break within 2 ms.
TEST(ImageRoundTrip, PackInfoDownloadUnpackGivesTheInputsBack) {
  test::TempDir dir;
  const test::Bytes boot = test::PseudoRandomBytes(1500, 7);
  const test::Bytes app = test::PseudoRandomBytes(300, 8);
  const test::Bytes table = test::PseudoRandomBytes(40, 9);
  test::WriteFileBytes(dir.File("boot.bin"), boot);
  {
    std::ofstream hex(dir.File("app.hex"));
    IntelHexWriter writer(hex);
    ASSERT_TRUE(writer.Write(0x00020000, app) && writer.Write(0x00030010, table));
    writer.Finish();
  }
  const std::string image = dir.File("fw.zfr").string();
  const auto pack = Cli({"pack", "--model", "TEST MODEL", "-o", image,
                         dir.File("boot.bin").string() + "@0x8000", dir.File("app.hex").string()});
  ASSERT_EQ(pack.code, 0) << pack.err;
  const auto info = Cli({"info", image});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_NE(info.out.find("TEST MODEL"), std::string::npos) << info.out;

  Fixture fixture;
  const auto download = Cli({"download", "-q", "--time-scale", std::to_string(TIME_SCALE), "--port",
                             fixture.line.SlavePath(), image});
  ASSERT_EQ(download.code, 0) << download.err;
  ASSERT_TRUE(fixture.ReceivedIntact(*LoadImage(image).image));
  {
    std::ofstream received(dir.File("received.hex"));
    ASSERT_TRUE(WriteIntelHex(fixture.runner.Memory(), received));
  }
  const std::string again = dir.File("again.zfr").string();
  ASSERT_EQ(Cli({"pack", "-m", "TEST MODEL", "-o", again, dir.File("received.hex").string()}).code,
            0);
  EXPECT_EQ(Cli({"diff", image, again}).code, 0);

  const auto unpack = Cli({"unpack", again, "-o", dir.File("parts").string()});
  ASSERT_EQ(unpack.code, 0) << unpack.err;
  const auto read = [&](const char* name) {
    std::ifstream in(dir.File("parts") / name, std::ios::binary);
    return test::Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  EXPECT_EQ(read("seg1-0x00008000.bin"), boot);
  EXPECT_EQ(read("seg2-0x00020000.bin"), app);
  EXPECT_EQ(read("seg3-0x00030010.bin"), table);
}

}  // namespace
}  // namespace tarvex::cli
