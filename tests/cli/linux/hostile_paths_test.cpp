// Device nodes, FIFOs and links where a command writes or reads a file: refused at once with the
// file and the reason, the node left exactly as it was; and outputs that fail while written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "sim/pty_line.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex::cli {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string err;
};

Outcome Cli(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunCli(args, out, err);
  return {code, err.str()};
}

// The real program with its file size limited to `kib` KiB, so that writes fail as on a full
// disk (the signal that would kill it is ignored: the write returns EFBIG).
Outcome Limited(int kib, const std::string& args, const fs::path& errFile) {
  const std::string command = "trap '' XFSZ; ulimit -f " + std::to_string(kib) + "; exec " +
                              TARVEX_CLI_PATH + " " + args + " >/dev/null 2>" + errFile.string();
  const int status = std::system(("bash -c \"" + command + "\"").c_str());
  std::ifstream in(errFile);
  std::stringstream err;
  err << in.rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err.str()};
}

// What must not change when a run refuses a node: its kind, identity and where a link leads.
std::string Fingerprint(const fs::path& path) {
  struct stat node {};
  if (lstat(path.c_str(), &node) != 0) {
    return "missing";
  }
  std::string text = std::to_string(node.st_mode) + "/" + std::to_string(node.st_ino) + "/" +
                     std::to_string(node.st_rdev) + "/" + std::to_string(node.st_size);
  return S_ISLNK(node.st_mode) ? text + "->" + fs::read_symlink(path).string() : text;
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string() + " " + Fingerprint(entry.path()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

enum class Node { CharDevice, Fifo, LinkToDevice, Folder, File, DanglingLink, Empty };

struct Hostile {
  const char* label;
  Node node;
  const char* kind;  // after "not a regular file " / "not a folder "
};

const Hostile HOSTILE[] = {
    {"CharDevice", Node::CharDevice, "(a character device)"},
    {"Fifo", Node::Fifo, "(a FIFO)"},
    {"LinkToDevice", Node::LinkToDevice, "(a symbolic link to a character device)"},
    {"Folder", Node::Folder, "(a folder)"},
    {"File", Node::File, "(a regular file)"},
    {"DanglingLink", Node::DanglingLink, "(a symbolic link that leads nowhere)"},
    {"Empty", Node::Empty, ""},
};

class HostilePaths : public ::testing::Test {
 public:
  void SetUp() override {
    image = test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string();
    bin = dir.File("a.bin").string();
    test::WriteFileBytes(bin, test::Bytes(16, 1));
    ASSERT_EQ(mknod(dir.File("full").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    ASSERT_EQ(mkdir(nodes.File("folder").c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.File("full").c_str(), nodes.File("link-to-device").c_str()), 0);
    ASSERT_EQ(symlink(nodes.File("missing").c_str(), nodes.File("dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(nodes.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mknod(nodes.File("device").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    std::ofstream(nodes.File("file")) << "not ours";
  }

  std::string PathFor(Node node) const {
    switch (node) {
      case Node::CharDevice:
        return nodes.File("device").string();
      case Node::Fifo:
        return nodes.File("fifo").string();
      case Node::LinkToDevice:
        return nodes.File("link-to-device").string();
      case Node::Folder:
        return nodes.File("folder").string();
      case Node::File:
        return nodes.File("file").string();
      case Node::DanglingLink:
        return nodes.File("dangling").string();
      case Node::Empty:
        break;
    }
    return {};
  }

  test::TempDir dir;
  test::TempDir nodes;
  std::string image;
  std::string bin;
};

struct Output {
  const char* label;
  bool folder;  // a folder is what it writes into
  std::function<std::vector<std::string>(const HostilePaths&, const std::string&)> args;
};

TEST_F(HostilePaths, EveryOutputRefusesWhatIsNotOursAndLeavesItAsItWas) {
  const Output outputs[] = {
      {"pack -o", false,
       [](const HostilePaths& t, const std::string& p) {
         return std::vector<std::string>{"pack", "-m", "M", "-o", p, t.bin + "@0"};
       }},
      {"unpack -o", true,
       [](const HostilePaths& t, const std::string& p) {
         return std::vector<std::string>{"unpack", t.image, "-o", p};
       }},
      {"simulate --out", false,
       [](const HostilePaths&, const std::string& p) {
         return std::vector<std::string>{"simulate", "--timeout", "0.1", "--out", p};
       }},
      {"--trace", false,
       [](const HostilePaths& t, const std::string& p) {
         return std::vector<std::string>{"demo", "--time-scale", "0.002", "--trace", p, t.image};
       }},
      {"--report", false,
       [](const HostilePaths& t, const std::string& p) {
         return std::vector<std::string>{"demo", "--time-scale", "0.002", "--report", p, t.image};
       }},
  };
  const auto before = Listing(nodes.path());
  for (const Output& output : outputs) {
    for (const Hostile& hostile : HOSTILE) {
      if (hostile.node == (output.folder ? Node::Folder : Node::File)) {
        continue;  // what it expects
      }
      const std::string label = std::string(output.label) + " " + hostile.label;
      const std::string path = PathFor(hostile.node);
      const Outcome run = Cli(output.args(*this, path));
      EXPECT_EQ(run.code, 2) << label << ": " << run.err;
      const std::string what = output.folder ? "folder" : "file";
      const std::string reason =
          hostile.node == Node::Empty
              ? "must name a " + what
              : path + ": not a " + (output.folder ? "folder " : "regular file ") + hostile.kind;
      EXPECT_NE(run.err.find(reason), std::string::npos) << label << ": " << run.err;
      EXPECT_EQ(Listing(nodes.path()), before) << label;
    }
  }
}

TEST_F(HostilePaths, ALinkIsWrittenThroughAndStaysALink) {
  ASSERT_EQ(symlink(nodes.File("file").c_str(), nodes.File("link").c_str()), 0);
  const std::string link = nodes.File("link").string();
  ASSERT_EQ(Cli({"pack", "-m", "M", "-o", link, bin + "@0"}).code, 0);
  ASSERT_EQ(Cli({"pack", "-m", "M", "-o", dir.File("plain.zfr").string(), bin + "@0"}).code, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  std::ifstream through(nodes.File("file"), std::ios::binary);
  std::ifstream plain(dir.File("plain.zfr"), std::ios::binary);
  std::stringstream a;
  std::stringstream b;
  a << through.rdbuf();
  b << plain.rdbuf();
  EXPECT_EQ(a.str(), b.str()) << "the image went to the file the link leads to";

  ASSERT_EQ(symlink(nodes.File("folder").c_str(), nodes.File("to-folder").c_str()), 0);
  ASSERT_EQ(Cli({"unpack", image, "-o", nodes.File("to-folder").string()}).code, 0);
  EXPECT_TRUE(fs::is_symlink(nodes.File("to-folder")));
  EXPECT_TRUE(fs::exists(nodes.File("folder") / "manifest.json"));
}

TEST_F(HostilePaths, InputsThatWouldBlockAreRefusedAtOnce) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const auto before = Listing(nodes.path());
  for (const Node node : {Node::Fifo, Node::CharDevice, Node::LinkToDevice, Node::Folder}) {
    const std::string path = PathFor(node);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"info", path},
             {"diff", image, path},
             {"download", "--port", line.SlavePath(), path},
         }) {
      const Outcome run = Cli(args);
      EXPECT_EQ(run.code, 2) << args[0] << " " << path << ": " << run.err;
      EXPECT_NE(run.err.find(path + (node == Node::Folder
                                         ? ": cannot open the file: it is a folder, not an image"
                                         : ": cannot open the file: not a regular file")),
                std::string::npos)
          << run.err;
    }
  }
  EXPECT_EQ(Listing(nodes.path()), before);
}

// A full disk while the trace or the report is written: the run does not end OK, and says which
// file it could not keep.
TEST_F(HostilePaths, AFailedTraceOrReportWriteFailsTheRun) {
  const std::string report = dir.File("report.jsonl").string();
  std::ofstream(report) << std::string(8192, 'x') << '\n';  // past the limit: appends fail
  const struct {
    const char* option;
    std::string path;
  } cases[] = {{"--trace", dir.File("trace.jsonl").string()}, {"--report", report}};
  for (const auto& c : cases) {
    const Outcome run =
        Limited(1, std::string("demo --time-scale 0.002 ") + c.option + " " + c.path + " " + image,
                dir.File("err.txt"));
    EXPECT_EQ(run.code, 1) << c.option << ": " << run.err;
    EXPECT_NE(run.err.find(c.path), std::string::npos) << c.option << ": " << run.err;
    EXPECT_NE(run.err.find("too large"), std::string::npos) << c.option << ": " << run.err;
  }
}

class UnpackFolder : public HostilePaths {
 protected:
  Outcome Unpack(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"unpack", image, "-o", out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Cli(args);
  }
  fs::path out = dir.File("parts");
};

TEST_F(UnpackFolder, ANonEmptyFolderTakesForceWhichReplacesOnlyUnpacksOwnFiles) {
  fs::create_directory(out);
  std::ofstream(out / "notes.txt") << "mine";
  std::ofstream(out / "seg9-0x00000000.bin") << "stale";
  const Outcome refused = Unpack();
  EXPECT_EQ(refused.code, 2) << refused.err;
  EXPECT_NE(refused.err.find(out.string() + " is not empty: give --force"), std::string::npos)
      << refused.err;
  EXPECT_TRUE(fs::exists(out / "seg9-0x00000000.bin"));

  const Outcome forced = Unpack({"--force"});
  ASSERT_EQ(forced.code, 0) << forced.err;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(out)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"image.hex", "manifest.json", "notes.txt",
                                             "seg1-0x00010000.bin", "seg2-0x00020000.bin"}));
}

TEST_F(UnpackFolder, AFailurePartWayLeavesNothingBehind) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.segments[0].data = test::PseudoRandomBytes(64 * 1024, 3);
  image = test::WriteImage(dir.File("big.zfr"), plan).string();
  for (const bool existing : {false, true}) {
    if (existing) {
      fs::create_directory(out);
    }
    const auto before = Listing(dir.path());
    const Outcome run = Limited(16, "unpack " + image + " -o " + out.string(), nodes.File("err"));
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.err.find("too large"), std::string::npos) << run.err;
    EXPECT_EQ(Listing(dir.path()), before) << "no staging folder, no part of the output";
  }
}

}  // namespace
}  // namespace tarvex::cli

namespace tarvex::cli {
namespace {

// A path given as the port that is no serial port is named for what it is, not for a fault of
// a port, and nothing is written to it.
TEST_F(HostilePaths, APortThatIsNoSerialPortSaysWhatItIs) {
  const struct {
    Node node;
    const char* reason;
  } cases[] = {
      {Node::Folder, "it is a folder, not a serial port"},
      {Node::CharDevice, "not a serial port (it has no line settings)"},
      {Node::File, "not a serial port (it has no line settings)"},
      {Node::Fifo, "not a serial port (it has no line settings)"},
  };
  const auto before = Listing(nodes.path());
  for (const auto& c : cases) {
    const std::string path = PathFor(c.node);
    const Outcome run = Cli({"download", "--port", path, image});
    EXPECT_EQ(run.code, 1) << path;
    EXPECT_NE(run.err.find(path + ": Open CommPort Fail: " + c.reason), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("see `tarvex-cli ports`"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Listing(nodes.path()), before);
}

}  // namespace
}  // namespace tarvex::cli
