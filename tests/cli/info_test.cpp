#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun RunTool(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

class InfoCommand : public testing::Test {
 protected:
  std::string Write(const test::ImagePlan& plan) {
    return test::WriteImage(dir_.File("image.zfr"), plan).string();
  }
  test::TempDir dir_;
};

// A path as a JSON string carries it (Windows paths have backslashes).
std::string JsonText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    escaped += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
  }
  return escaped;
}

TEST_F(InfoCommand, JsonDescribesAGoodImage) {
  test::ImagePlan plan{test::Model("VUN D7"),
                       {{0x00010000, test::Bytes(1500, 1)}, {0x00020000, test::Bytes(10, 2)}}};
  const std::string path = Write(plan);
  const auto bytes = test::BuildImage(plan);
  const std::uint32_t crc = ReadLe32(bytes.data() + 4);

  const CliRun run = RunTool({"info", "--json", path});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string expected =
      "{\"ok\":true,\"path\":\"" + JsonText(path) +
      "\",\"file_size\":" + std::to_string(bytes.size()) +
      ",\"crc_ok\":true,\"model\":\"VUN D7\",\"needs_wake\":true,\"payload_length\":1734,"
      "\"image_crc\":" +
      std::to_string(crc) +
      ",\"segment_count\":2,\"segments\":["
      "{\"file_offset\":256,\"target_address\":65536,\"length\":1500},"
      "{\"file_offset\":1756,\"target_address\":131072,\"length\":10}],"
      "\"data_steps\":4,\"estimated_duration_ms\":";
  ASSERT_EQ(run.out.substr(0, expected.size()), expected);
  // The waits alone are 42540 ms with the wake-up and four data steps; the frames' own time on
  // the wire adds less than a quarter of a second here.
  const long duration = std::stol(run.out.substr(expected.size()));
  EXPECT_GT(duration, 42540);
  EXPECT_LT(duration, 42540 + 250);
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
}

TEST_F(InfoCommand, JsonEscapesTheModelAndReadsItAsLatin1) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.model = test::Model("A\"B\\C\x01\xE9");
  const CliRun run = RunTool({"info", "--json", Write(plan)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(R"("model":"A\"B\\C\u0001)"
                         "\xC3\xA9\""),
            std::string::npos)
      << run.out;
}

// Accepted, but the bytes of segment 2 lie in the unchecked preamble: a warning, not a refusal.
TEST_F(InfoCommand, WarnsOfSegmentsOutsideTheCheckedPayload) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.segments[1].fileOffset = 4;
  const std::string path = Write(plan);
  for (const bool json : {false, true}) {
    const CliRun run = json ? RunTool({"info", "--json", path}) : RunTool({"info", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("segment 2 lie outside the CRC-checked payload"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("\"unchecked_segments\":[2]") != std::string::npos, json);
  }
}

TEST_F(InfoCommand, PlainTextForPeople) {
  const CliRun run = RunTool({"info", Write(test::SimpleImagePlan())});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("model           TEST MODEL\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("wake-up         no\n"), std::string::npos);
  EXPECT_NE(run.out.find("   1  0x00000100   0x00010000            1500\n"), std::string::npos);
}

TEST_F(InfoCommand, RejectedImageExits3WithOneLineOnStderr) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.imageCrc = 0x0BADF00D;
  const std::string path = Write(plan);
  const CliRun run = RunTool({"info", "--json", path});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out.rfind("{\"ok\":false,\"path\":\"" + JsonText(path) +
                              "\",\"reason\":\"crc_mismatch\",\"message\":\"CRC mismatch: stored "
                              "0x0BADF00D",
                          0),
            0u)
      << run.out;
  EXPECT_EQ(run.err.rfind("tarvex-cli: " + path + ": CRC mismatch: stored 0x0BADF00D", 0), 0u)
      << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
}

TEST_F(InfoCommand, AFileThatIsNoImageAtAllSaysSoFirst) {
  const auto path = dir_.File("notes.txt");
  std::ofstream(path) << "hello world, these are notes and not an image\n";
  const CliRun run = RunTool({"info", "--json", path.string()});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("\"reason\":\"not_an_image\""), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(": not a tarvex image: "), std::string::npos) << run.err;
}

// File names reach the program as UTF-8; Windows opens them only through its wide API.
TEST_F(InfoCommand, ImageNamedOutsideAsciiIsReadForTheCheckAndTheEstimate) {
  const auto written =
      test::WriteImage(dir_.path() / u8"固件 Ünïcode.zfr", test::SimpleImagePlan()).u8string();
  const std::string path(written.begin(), written.end());
  const CliRun run = RunTool({"info", path});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("image           " + path + "\n"), std::string::npos) << run.out;
  // The estimate reads the image's blocks again, through the protocol layer's own open.
  EXPECT_NE(run.out.find("download time"), std::string::npos) << run.out;
}

// A file that cannot be opened was named wrongly: a usage error, not an image found bad.
TEST_F(InfoCommand, AMissingFileOrAFolderIsAUsageErrorNotARejection) {
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir_.File("absent.zfr").string(), "cannot open the file: "},
      {dir_.path().string(), "cannot open the file: it is a folder, not an image file"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunTool({"info", c.path});
    EXPECT_EQ(run.status, 2) << c.path;
    EXPECT_EQ(run.err.rfind("tarvex-cli: " + c.path + ": " + c.reason, 0), 0u) << run.err;
    EXPECT_NE(run.err.find("; check the path: it must name an image file (.zfr)\n"),
              std::string::npos)
        << run.err;
  }
}

TEST(InfoUsage, APathFromTheRootIsAnImageNotAnOption) {
  const CliRun run = RunTool({"info", "/no-such-folder/image.zfr"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("cannot open the file"), std::string::npos) << run.err;
}

TEST(InfoUsage, ErrorsExit2) {
  EXPECT_EQ(RunTool({"info"}).status, 2);
  EXPECT_EQ(RunTool({"info", "--bogus", "x.zfr"}).status, 2);
  EXPECT_EQ(RunTool({"info", "a.zfr", "b.zfr"}).status, 2);
}

TEST(Version, PrintsTheProductVersion) {
  const CliRun run = RunTool({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "tarvex-cli 1.0.0.3\n");
}

}  // namespace
}  // namespace tarvex
