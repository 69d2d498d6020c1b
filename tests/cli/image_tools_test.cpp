// pack, unpack and diff as a user runs them: files in, files out, exit statuses.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Tool(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ImageTools : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name).string(); }
  std::string WriteBin(const std::string& name, const Bytes& bytes) const {
    test::WriteFileBytes(dir_.File(name), bytes);
    return File(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(dir_.File(name)) << text;
    return File(name);
  }
  test::TempDir dir_;
};

// Raw bytes and a HEX file in, an image that info accepts out, and unpack gives the inputs back.
TEST_F(ImageTools, PackInfoUnpackGivesTheInputsBack) {
  const Bytes boot = test::PseudoRandomBytes(1000, 1);
  const Bytes tail = test::PseudoRandomBytes(24, 2);
  const std::string hex = WriteText("app.hex", ":020000040002F8\n:03000000AABBCCCC\n:00000001FF\n");
  const ToolRun pack = Tool({"pack", "--model", "VUN D7", "-o", File("out.zfr"),
                             WriteBin("tail.bin", tail) + "@0x" + "8003E8",
                             WriteBin("boot.bin", boot) + "@8388608", hex});
  ASSERT_EQ(pack.status, 0) << pack.err;

  const ToolRun info = Tool({"info", "--json", File("out.zfr")});
  ASSERT_EQ(info.status, 0) << info.err;
  const ToolRun unpack = Tool({"unpack", File("out.zfr"), "-o", File("parts")});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(Listing(dir_.File("parts")),
            (std::vector<std::string>{"image.hex", "manifest.json", "seg1-0x00020000.bin",
                                      "seg2-0x00800000.bin"}));
  EXPECT_EQ(ReadAll(dir_.File("parts") / "seg1-0x00020000.bin"), (Bytes{0xAA, 0xBB, 0xCC}));
  Bytes joined = boot;  // 0x800000 + 1000 = 0x8003E8: the two touch and become one segment
  joined.insert(joined.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadAll(dir_.File("parts") / "seg2-0x00800000.bin"), joined);

  // Every field info reports about the image, the manifest reports alike.
  const auto described = nlohmann::json::parse(info.out);
  auto manifest = nlohmann::json::parse(ReadAll(dir_.File("parts") / "manifest.json"));
  for (const auto& [key, value] : described.items()) {
    if (manifest.contains(key) && key != "segments") {
      EXPECT_EQ(manifest[key], value) << key;
    }
  }
  for (auto& row : manifest["segments"]) {
    EXPECT_EQ(row["reserved"], 0);
    row.erase("reserved");
    row.erase("file");
  }
  EXPECT_EQ(manifest["segments"], described["segments"]);
  for (const char* key : {"model", "payload_length", "image_crc", "segment_count", "path"}) {
    EXPECT_TRUE(manifest.contains(key)) << key;
  }
  EXPECT_EQ(manifest["reserved"], 0);

  // Packing what unpack wrote makes the same image again.
  const ToolRun again = Tool({"pack", "-m", "VUN D7", "-o", File("again.zfr"),
                              (dir_.File("parts") / "image.hex").string()});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadAll(dir_.File("again.zfr")), ReadAll(dir_.File("out.zfr")));
  EXPECT_EQ(Tool({"diff", File("out.zfr"), File("again.zfr")}).status, 0);
}

// Nothing interprets the reserved word, so unpack reports it exactly as the file holds it.
TEST_F(ImageTools, ManifestCarriesTheReservedWordAsFound) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.bytes = {{8, 0x78}, {9, 0x56}, {10, 0x34}, {11, 0x12}};
  const std::string image = test::WriteImage(dir_.File("r.zfr"), plan).string();
  ASSERT_EQ(Tool({"unpack", image, "-o", File("r")}).status, 0);
  const auto manifest = nlohmann::json::parse(ReadAll(dir_.File("r") / "manifest.json"));
  EXPECT_EQ(manifest["reserved"], 0x12345678);
}

TEST_F(ImageTools, UnpackNamesTheFolderItCannotWrite) {
  const std::string image = test::WriteImage(dir_.File("a.zfr"), test::SimpleImagePlan()).string();
  const std::string folder = WriteText("plain", "a file, not a folder") + "/parts";
  const ToolRun run = Tool({"unpack", image, "-o", folder});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find(folder + ": "), std::string::npos) << run.err;
}

struct Refusal {
  std::string label;
  std::vector<std::string> inputs;  // "@" names the test's bin files: a.bin is 16 bytes
  std::string model;
  int status;
  std::string err;
};

TEST_F(ImageTools, PackRefusesWithTheReasonAndLeavesNoFile) {
  const std::string a = WriteBin("a.bin", Bytes(16, 1));
  const std::string empty = WriteBin("empty.bin", {});
  std::vector<std::string> fifteen;
  for (int i = 0; i < 15; ++i) {
    fifteen.push_back(a + "@" + std::to_string(i * 32));
  }
  const std::string hex = WriteText("good.hex", ":0100000042BD\n:00000001FF\n");
  std::filesystem::create_directory(dir_.File("folder"));
  const std::string huge = WriteBin("huge.bin", {});
  std::filesystem::resize_file(huge, (std::uint64_t{1} << 32) - 0xFF);  // sparse
  std::vector<Refusal> cases = {
      {"Overlap", {a + "@0x100", a + "@0x10F"}, "M", 1, "inputs overlap: 0x00000100..0x0000010F"},
      {"FifteenSegments", fifteen, "M", 1, "make 15 separate address ranges"},
      {"ModelTooLong", {a + "@0"}, "ABCDEFGHIJKLMNOPQ", 2, "at most 16 ASCII characters"},
      {"ModelNotAscii", {a + "@0"}, "VUN D\xC3\xA9", 2, "at most 16 ASCII characters"},
      {"Empty", {empty + "@0"}, "M", 1, "the image would be empty"},
      {"PastTheTop", {a + "@0xFFFFFFF8"}, "M", 1, "passes the top of the address space"},
      {"BadAddress", {a + "@0x1G"}, "M", 2, "\"0x1G\" is not an address"},
      {"NotAnInput", {a}, "M", 2, "give raw bytes as FILE@ADDRESS"},
      {"MissingFile", {File("none.bin") + "@0"}, "M", 1, "cannot read"},
      {"BadHex", {WriteText("b.hex", ":0100000042BE\n:00000001FF\n")}, "M", 1, "bad checksum"},
      // Hostile inputs: each once crashed pack, ran it out of memory or lost data.
      {"Folder", {File("folder") + "@0"}, "M", 1, "folder is a folder: give a file"},
      {"FolderAsElf", {File("folder")}, "M", 1, "folder is a folder: give a file"},
      {"RawPastTheAddressSpace",
       {huge + "@0x100"},
       "M",
       1,
       "holds 4294967041 bytes: placed at 0x00000100 it passes the top"},
      {"HexGivenAnAddress", {hex + "@0x1000"}, "M", 2, "a HEX file carries its own addresses"},
      {"JoinedHexFiles",
       {WriteText("joined.hex", ":0100000042BD\n:00000001FF\n:0100100011DE\n:00000001FF\n")},
       "M",
       1,
       "joined.hex line 3: data after the end-of-file record"},
      {"ControlByteIsNoDot", {File("app\x0Ehex")}, "M", 2, "give raw bytes as FILE@ADDRESS"},
  };
#ifndef _WIN32
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
  cases.push_back({"Pipe", {File("fifo") + "@0"}, "M", 1, "is a device or a pipe"});
  if (mknod(File("zero").c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0) {  // as root only
    cases.push_back({"Device", {File("zero") + "@0"}, "M", 1, "is a device or a pipe"});
  }
#endif
  for (const Refusal& c : cases) {
    std::vector<std::string> args = {"pack", "--model", c.model, "-o", File("out.zfr")};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, c.status) << c.label << ": " << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.label << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.zfr"))) << c.label;
  }
}

TEST_F(ImageTools, DiffExitsByVerdict) {
  test::ImagePlan plan = test::SimpleImagePlan();
  const std::string a = test::WriteImage(dir_.File("a.zfr"), plan).string();
  const std::string same = test::WriteImage(dir_.File("same.zfr"), plan).string();
  plan.segments[1].data[3] ^= 1;
  plan.segments.push_back({0x30000, Bytes(4, 0)});
  const std::string other = test::WriteImage(dir_.File("other.zfr"), plan).string();
  plan.imageCrc = 1;
  const std::string bad = test::WriteImage(dir_.File("bad.zfr"), plan).string();

  EXPECT_EQ(Tool({"diff", a, same}).status, 0);
  const ToolRun differ = Tool({"diff", a, other});
  EXPECT_EQ(differ.status, 1) << differ.err;
  EXPECT_NE(differ.out.find("segment_count    2 -> 3\n"), std::string::npos) << differ.out;
  EXPECT_NE(differ.out.find("segment changed  0x00020000..0x00020009 (10 bytes): 1 byte(s) "
                            "differ\n"),
            std::string::npos)
      << differ.out;
  EXPECT_NE(differ.out.find("segment added    0x00030000..0x00030003 (4 bytes)\n"),
            std::string::npos)
      << differ.out;
  plan = test::SimpleImagePlan();
  plan.model[15] = 'S';
  const ToolRun wake = Tool({"diff", a, test::WriteImage(dir_.File("wake.zfr"), plan).string()});
  EXPECT_EQ(wake.status, 1);
  EXPECT_EQ(wake.out,
            "model            TEST MODEL -> TEST MODEL\\x00\\x00\\x00\\x00\\x00S\n"
            "needs_wake       0 -> 1\n");
  const ToolRun rejected = Tool({"diff", a, bad});
  EXPECT_EQ(rejected.status, 3);
  EXPECT_NE(rejected.err.find("CRC mismatch"), std::string::npos) << rejected.err;
}

TEST(ImageToolsUsage, HelpAndUsageErrors) {
  for (const char* command : {"pack", "unpack", "diff"}) {
    const ToolRun help = Tool({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status: "), std::string::npos) << command;
    const ToolRun bare = Tool({command});
    EXPECT_EQ(bare.status, 2) << command;
    EXPECT_NE(bare.err.find(std::string("Run 'tarvex-cli ") + command + " --help'"),
              std::string::npos)
        << bare.err;
  }
}

}  // namespace
}  // namespace tarvex
