// The library preloaded into Wine processes, linked into this test ahead of the C library so
// that it stands in for open, fopen, ioctl and tcsetattr here too. Refusals are checked on nodes
// made in a temp dir: majors with a driver here only through O_PATH, which never reaches a
// driver (it succeeds without the guard); other majors only while no driver has them (the open
// would fail harmlessly with ENXIO without the guard).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "sim/pty_line.h"
#include "tests/support/temp_dir.h"

extern "C" {
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);
int __openat64_2(int dirfd, const char* path, int flags);
}

namespace {

bool HasCharacterDriver(unsigned major_number) {
  std::ifstream devices("/proc/devices");
  std::string line;
  bool character = false;
  while (std::getline(devices, line)) {
    character = line == "Character devices:" || (character && line != "Block devices:");
    if (character && std::atoi(line.c_str()) == static_cast<int>(major_number)) {
      return true;
    }
  }
  return false;
}

int Descriptor(FILE* file) {
  const int fd = file == nullptr ? -1 : dup(fileno(file));
  if (file != nullptr) {
    fclose(file);
  }
  return fd;
}

// Every wrapped entry point, opening for reading and writing: a descriptor or -1.
struct OpenEntry {
  const char* name;
  std::function<int(const char* path)> open;
};

constexpr int RW = O_RDWR | O_NONBLOCK;
const OpenEntry ENTRIES[] = {
    {"open", [](const char* p) { return open(p, RW); }},
    {"open64", [](const char* p) { return open64(p, RW); }},
    {"openat", [](const char* p) { return openat(AT_FDCWD, p, RW); }},
    {"openat64", [](const char* p) { return openat64(AT_FDCWD, p, RW); }},
    {"open_2", [](const char* p) { return __open_2(p, RW); }},
    {"open64_2", [](const char* p) { return __open64_2(p, RW); }},
    {"openat_2", [](const char* p) { return __openat_2(AT_FDCWD, p, RW); }},
    {"openat64_2", [](const char* p) { return __openat64_2(AT_FDCWD, p, RW); }},
    {"fopen", [](const char* p) { return Descriptor(fopen(p, "r+")); }},
    {"fopen64", [](const char* p) { return Descriptor(fopen64(p, "r+")); }},
};

struct NodeCase {
  unsigned major_number;
  unsigned minor_number;
  OpenEntry entry;  // for majors that have a driver here: an O_PATH open instead
};

void PrintTo(const NodeCase& c, std::ostream* out) {
  *out << c.entry.name << " of " << c.major_number << ":" << c.minor_number;
}

class RefusedNodeTest : public ::testing::TestWithParam<NodeCase> {
 protected:
  tarvex::test::TempDir dir_;
};

TEST_P(RefusedNodeTest, FailsWithAccessDenied) {
  const NodeCase& c = GetParam();
  const bool driver = c.major_number == 4 || c.major_number == 5;
  if (!driver && HasCharacterDriver(c.major_number)) {
    GTEST_SKIP() << "major " << c.major_number << " has a driver here";
  }
  const std::string path = dir_.File("line").string();
  if (mknod(path.c_str(), S_IFCHR | 0600, makedev(c.major_number, c.minor_number)) != 0) {
    GTEST_SKIP() << "cannot make device nodes: " << std::strerror(errno);
  }
  errno = 0;
  const int fd = driver ? open(path.c_str(), O_PATH) : c.entry.open(path.c_str());
  if (fd >= 0) {
    close(fd);
  }
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(errno, EACCES) << std::strerror(errno);
}

std::vector<NodeCase> NodeCases() {
  std::vector<NodeCase> cases = {
      {4, 64, {"ttyS0", {}}}, {4, 1, {"tty1", {}}}, {5, 1, {"console", {}}}};
  for (const unsigned major_number : {166u, 188u, 204u}) {
    for (const OpenEntry& entry : ENTRIES) {
      cases.push_back({major_number, 0, entry});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Nodes, RefusedNodeTest, ::testing::ValuesIn(NodeCases()),
                         [](const auto& tested) {
                           return std::string(tested.param.entry.name) + "_" +
                                  std::to_string(tested.param.major_number);
                         });

TEST(GuardTest, OrdinaryFilesOpenWithTheModeGiven) {
  tarvex::test::TempDir dir;
  const mode_t old = umask(0);
  const int a = open(dir.File("a").c_str(), O_CREAT | O_WRONLY, 0640);
  const int b = openat(AT_FDCWD, dir.File("b").c_str(), O_CREAT | O_WRONLY, 0604);
  umask(old);
  struct stat sa {};
  struct stat sb {};
  ASSERT_EQ(fstat(a, &sa), 0);
  ASSERT_EQ(fstat(b, &sb), 0);
  EXPECT_EQ(sa.st_mode & 0777, 0640u);
  EXPECT_EQ(sb.st_mode & 0777, 0604u);
  close(a);
  close(b);
  EXPECT_GE(Descriptor(fopen("/dev/null", "r+")), 0);
}

TEST(GuardTest, OtherDescriptorsGetTheKernelsAnswers) {
  int pipes[2];
  ASSERT_EQ(pipe(pipes), 0);
  int bits = 0;
  serial_struct serial{};
  errno = 0;
  EXPECT_EQ(ioctl(pipes[0], TIOCMGET, &bits), -1);
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(ioctl(pipes[0], TIOCGSERIAL, &serial), -1);
  close(pipes[0]);
  close(pipes[1]);
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.Ok());
    slave_ = open(line_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0);
    // The guard keeps a line's divisor and modem lines by its number, as a UART driver does,
    // and pseudo-terminal numbers are reused: start from a line as a driver first has it.
    serial_struct serial{};
    ASSERT_EQ(ioctl(slave_, TIOCSSERIAL, &serial), 0);
    int bits = TIOCM_DTR | TIOCM_RTS;
    ASSERT_EQ(ioctl(slave_, TIOCMSET, &bits), 0);
  }

  void TearDown() override { close(slave_); }

  tarvex::PtyLineSettings Line() {
    tarvex::PtyLineSettings settings;
    EXPECT_TRUE(line_.Settings(settings));
    return settings;
  }

  tarvex::PtyLine line_;
  int slave_ = -1;
};

TEST_F(PtyTest, OpeningWithoutNoCttyDoesNotMakeItTheControllingTerminal) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();
    const int fd = open(line_.SlavePath().c_str(), O_RDWR);
    _exit(fd >= 0 && open("/dev/tty", O_RDWR) < 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

struct SpeedCase {
  const char* name;
  unsigned rate;      // bit/s
  speed_t tableCode;  // B0 where Wine has no table entry for the rate
  tcflag_t parity;    // PARENB, PARENB | PARODD or 0
  bool twoStopBits;
};

void PrintTo(const SpeedCase& c, std::ostream* out) {
  *out << c.name;
}

class WineSpeedTest : public PtyTest, public ::testing::WithParamInterface<SpeedCase> {
 protected:
  // What Wine does for SetCommState: the rate, then the line control, each with a tcgetattr /
  // tcsetattr of its own.
  void SetLikeWine(const SpeedCase& c) {
    termios t{};
    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    speed_t code = c.tableCode;
    if (code == B0) {
      serial_struct serial{};
      ASSERT_EQ(ioctl(slave_, TIOCGSERIAL, &serial), 0);
      serial.custom_divisor = serial.baud_base / static_cast<int>(c.rate);
      serial.flags = (serial.flags & ~ASYNC_SPD_MASK) | ASYNC_SPD_CUST;
      ASSERT_EQ(ioctl(slave_, TIOCSSERIAL, &serial), 0);
      code = B38400;
    }
    cfsetospeed(&t, code);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0) << std::strerror(errno);

    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= CS8 | c.parity | (c.twoStopBits ? CSTOPB : 0);
    t.c_iflag = c.parity != 0 ? (t.c_iflag | INPCK) : (t.c_iflag & ~INPCK);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0) << std::strerror(errno);
  }
};

TEST_P(WineSpeedTest, LineRunsAtExactlyTheRateAsked) {
  const SpeedCase& c = GetParam();
  SetLikeWine(c);
  const auto line = Line();
  EXPECT_EQ(line.baud, c.rate);
  EXPECT_EQ(line.parity == tarvex::PtyParity::Odd, (c.parity & PARODD) != 0);
  EXPECT_EQ(line.parityCheck, c.parity != 0);
  EXPECT_EQ(line.stopBits, c.twoStopBits ? 2 : 1);
  EXPECT_TRUE(line.eightDataBits);

  // Read back as a UART at a custom divisor shows it, so that Wine's GetCommState works.
  termios t{};
  ASSERT_EQ(tcgetattr(slave_, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), c.tableCode != B0 ? c.tableCode : static_cast<speed_t>(B38400));

  // The same again, as a second SetCommState: nothing changes and nothing fails.
  SetLikeWine(c);
  EXPECT_EQ(Line().baud, c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, WineSpeedTest,
    ::testing::Values(SpeedCase{"Start100000Even", 100000, B0, PARENB, false},
                      SpeedCase{"Wake250000TwoStop", 250000, B0, 0, true},
                      SpeedCase{"OneStop140000Odd", 140000, B0, PARENB | PARODD, false},
                      SpeedCase{"Odd128000", 128000, B0, PARENB | PARODD, false},
                      SpeedCase{"Top460000", 460000, B0, 0, true},
                      SpeedCase{"Table115200Odd", 115200, B115200, PARENB | PARODD, false},
                      SpeedCase{"Table38400", 38400, B38400, 0, false}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST_F(PtyTest, ModemLinesAreKeptPerLineAndLogged) {
  tarvex::test::TempDir dir;
  const std::string log = dir.File("modem.log").string();
  setenv("TARVEX_WINE_MODEM_LOG", log.c_str(), 1);
  const int other = open(line_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  int bits = TIOCM_RTS;
  ASSERT_EQ(ioctl(slave_, TIOCMBIC, &bits), 0);
  ASSERT_EQ(ioctl(other, TIOCMGET, &bits), 0);  // another descriptor of the same line
  EXPECT_EQ(bits & (TIOCM_DTR | TIOCM_RTS | TIOCM_CTS), TIOCM_DTR | TIOCM_CTS);
  bits = TIOCM_RTS;
  ASSERT_EQ(ioctl(other, TIOCMBIS, &bits), 0);
  bits = 0;
  ASSERT_EQ(ioctl(slave_, TIOCMSET, &bits), 0);
  ASSERT_EQ(ioctl(slave_, TIOCMGET, &bits), 0);
  EXPECT_EQ(bits & (TIOCM_DTR | TIOCM_RTS), 0);
  unsetenv("TARVEX_WINE_MODEM_LOG");
  close(other);

  std::stringstream text;
  text << std::ifstream(log).rdbuf();
  const std::string pts = line_.SlavePath().substr(5);  // "pts/N"
  const std::string pid = " pid=" + std::to_string(getpid()) + "\n";
  EXPECT_EQ(text.str(), pts + " TIOCMBIC RTS=0 DTR=1" + pid + pts + " TIOCMBIS RTS=1 DTR=1" + pid +
                            pts + " TIOCMSET RTS=0 DTR=0" + pid);
}

}  // namespace
