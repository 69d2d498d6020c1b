// Opening a port over a pseudo-terminal: the line settings in force, raw binary transfer,
// exclusivity and the failures that leave nothing open.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "sim/pty_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace tarvex {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds READ_WAIT{2000};

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

SerialLink MakeLink() {
  return SerialLink(MakeNativePortBackend());
}

// Bytes waiting in the input queue of the terminal at `path`, or -1.
int QueuedAt(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  int queued = -1;
  if (fd >= 0 && ioctl(fd, FIONREAD, &queued) != 0) {
    queued = -1;
  }
  if (fd >= 0) {
    close(fd);
  }
  return queued;
}

std::size_t OpenDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

struct OpenCase {
  const char* name;
  std::uint32_t baud;
  std::uint8_t parity;
  std::uint8_t stopBits;  // expected
  PtyParity shown;        // what a pseudo-terminal keeps of the parity
};

void PrintTo(const OpenCase& c, std::ostream* out) {
  *out << c.name;
}

class LinkOpenSettings : public testing::TestWithParam<OpenCase> {};

TEST_P(LinkOpenSettings, LeavesTheLineRawAt8BitsWithoutFlowControl) {
  const OpenCase& c = GetParam();
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  PtyLineSettings shown;
  ASSERT_TRUE(line.Settings(shown));
  ASSERT_FALSE(shown.raw);  // the driver's cooked default, so the open has something to change
  SerialLink link = MakeLink();
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), c.parity, c.baud)) << link.LastError().Message();

  ASSERT_TRUE(line.Settings(shown));
  EXPECT_EQ(shown.baud, c.baud);
  EXPECT_EQ(shown.stopBits, c.stopBits);
  EXPECT_EQ(shown.parity, c.shown);
  EXPECT_TRUE(shown.eightDataBits);
  EXPECT_FALSE(shown.hardwareFlow);
  EXPECT_FALSE(shown.outputXonXoff);
  EXPECT_FALSE(shown.inputXonXoff);
  EXPECT_TRUE(shown.parityCheck);
  EXPECT_TRUE(shown.local);
  EXPECT_TRUE(shown.receiverOn);
  EXPECT_TRUE(shown.raw) << std::hex << "iflag " << shown.iflag << " oflag " << shown.oflag
                         << " lflag " << shown.lflag;
  EXPECT_TRUE(shown.Matches(link.Settings()));
  EXPECT_EQ(link.Settings(), MakeLineSettings(c.baud, c.parity));
}

INSTANTIATE_TEST_SUITE_P(
    TheOpensInUse, LinkOpenSettings,
    testing::Values(
        OpenCase{"Download_100000_8E1", 100000, PARITY_CODE_EVEN, 1, PtyParity::NoneOrEven},
        OpenCase{"Wake_250000_8N2", 250000, PARITY_CODE_NONE, 2, PtyParity::NoneOrEven},
        OpenCase{"Announce_115200_8O1", 115200, PARITY_CODE_ODD, 1, PtyParity::Odd},
        OpenCase{"Rule_140000_8N1", 140000, PARITY_CODE_NONE, 1, PtyParity::NoneOrEven},
        OpenCase{"Rule_140000_8O1", 140000, PARITY_CODE_ODD, 1, PtyParity::Odd},
        OpenCase{"Odd_speed_31250_8N2", 31250, PARITY_CODE_NONE, 2, PtyParity::NoneOrEven}),
    CaseName<OpenCase>);

TEST(LinkTransfer, EveryByteValueArrivesUnchanged) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  SerialLink link = MakeLink();
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));
  std::vector<std::uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  // An XOFF from the fixture must not stop the output either.
  const std::uint8_t xoff = 0x13;
  ASSERT_TRUE(line.Send(&xoff, 1));

  EXPECT_EQ(link.WriteComm(all.data(), 256), 256u);
  EXPECT_EQ(line.ReadFor(all.size(), READ_WAIT), all);
  std::uint8_t extra = 0;
  EXPECT_EQ(line.Read(&extra, 1, milliseconds{50}), 0);
}

TEST(LinkTransfer, BytesSentBeforeTheOpenAreDiscarded) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  const std::uint8_t early[] = {1, 2, 3, 4, 5};
  ASSERT_TRUE(line.Send(early, sizeof early));
  ASSERT_TRUE(test::WaitUntil([&] { return QueuedAt(line.SlavePath()) == 5; }, READ_WAIT));

  SerialLink link = MakeLink();
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_EVEN, 100000));
  EXPECT_EQ(link.backend().BytesWaiting(), 0);
  const std::uint8_t late = 9;
  ASSERT_TRUE(line.Send(&late, 1));
  EXPECT_TRUE(test::WaitUntil([&] { return link.backend().BytesWaiting() == 1; }, READ_WAIT));
}

TEST(LinkExclusive, ASecondOpenFromThisProcessFailsUntilTheClose) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  SerialLink first = MakeLink();
  SerialLink second = MakeLink();
  ASSERT_TRUE(first.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));

  EXPECT_FALSE(second.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastError().code, std::errc::operation_would_block);
  EXPECT_NE(second.LastError().Message().find("in use"), std::string::npos);
  // The holder is unharmed.
  const std::uint8_t byte = 0x5A;
  EXPECT_EQ(first.WriteComm(&byte, 1), 1u);
  EXPECT_EQ(line.ReadFor(1, READ_WAIT), std::vector<std::uint8_t>{0x5A});

  first.CloseCommPort();
  EXPECT_TRUE(second.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200))
      << second.LastError().Message();
}

// Tries to open `path` in a child process; returns the errno it met, 0 when the open worked.
int OpenFromAnotherProcess(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    auto backend = MakeNativePortBackend();
    const bool opened = backend->Open(path, MakeLineSettings(115200, PARITY_CODE_ODD));
    _exit(opened ? 0 : (backend->LastError().code.value() & 0x7F));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

TEST(LinkExclusive, AnotherProcessCannotOpenAHeldPort) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  SerialLink link = MakeLink();
  // As a job holds it: the watcher stays in its wait, so the fork copies no ended, unjoined
  // thread (which ThreadSanitizer would report in the child).
  link.running() = 1;
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));
  EXPECT_EQ(OpenFromAnotherProcess(line.SlavePath()), EWOULDBLOCK);
  link.CloseCommPort();
  EXPECT_EQ(OpenFromAnotherProcess(line.SlavePath()), 0);
}

TEST(LinkExclusive, OpeningTwiceWithoutACloseIsRefusedAndKeepsThePort) {
  PtyLine line;
  ASSERT_TRUE(line.Ok());
  SerialLink link = MakeLink();
  ASSERT_TRUE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_ODD, 115200));
  EXPECT_FALSE(link.OpenCommPort(line.SlavePath(), PARITY_CODE_NONE, 250000));
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.Settings(), MakeLineSettings(115200, PARITY_CODE_ODD));
  const std::uint8_t byte = 0xA5;
  EXPECT_EQ(link.WriteComm(&byte, 1), 1u);
}

struct FailedOpenCase {
  const char* name;
  const char* file;  // created as a plain file when not null
  std::errc error;
  const char* says;  // part of the message: what it means and what to do
};

void PrintTo(const FailedOpenCase& c, std::ostream* out) {
  *out << c.name;
}

class LinkFailedOpen : public testing::TestWithParam<FailedOpenCase> {};

TEST_P(LinkFailedOpen, LeavesNothingOpenAndSaysWhy) {
  const FailedOpenCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File("port").string();
  if (c.file != nullptr) {
    std::ofstream(path) << c.file;
  }
  SerialLink link = MakeLink();
  link.running() = 1;
  const std::size_t before = OpenDescriptorCount();

  EXPECT_FALSE(link.OpenCommPort(path, PARITY_CODE_ODD, 115200));
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.WatcherResult().has_value());  // no watcher was started
  EXPECT_EQ(link.LastError().code, c.error);
  EXPECT_NE(link.LastError().Message().find(c.says), std::string::npos)
      << link.LastError().Message();
  link.CloseCommPort();  // nothing to close: returns at once
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LinkFailedOpen,
    testing::Values(
        FailedOpenCase{"NoSuchPort", nullptr, std::errc::no_such_file_or_directory,
                       "no such device (No such file or directory); see `tarvex-cli ports`"},
        FailedOpenCase{"NotATerminal", "plain file", std::errc::inappropriate_io_control_operation,
                       "not a serial port"}),
    CaseName<FailedOpenCase>);

}  // namespace
}  // namespace tarvex
