// The line server as its own process, driven over its socket the way Windows tests drive it,
// with the test itself opening the pseudo-terminal as the COM port would.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    text += "0123456789abcdef"[b >> 4];
    text += "0123456789abcdef"[b & 15];
  }
  return text;
}

// Reads one line from `fd`, waiting at most 5 s for each byte.
std::string ReadLine(int fd, bool socket) {
  std::string line;
  char c = 0;
  pollfd p = {fd, POLLIN, 0};
  while (poll(&p, 1, 5000) == 1 && (socket ? recv(fd, &c, 1, 0) : read(fd, &c, 1)) == 1 &&
         c != '\n') {
    line.push_back(c);
  }
  return line;
}

class LineServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(TARVEX_WINE_LINE_PATH), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, TARVEX_WINE_LINE_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    slavePath_ = ReadLine(out[0], false);
    port_ = ReadLine(out[0], false);
    close(out[0]);
    ASSERT_EQ(slavePath_.rfind("/dev/pts/", 0), 0u) << slavePath_;
    // Taken before anyone changes the line: it must be raw already.
    opener_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(opener_, 0);
    ASSERT_EQ(tcgetattr(opener_, &initial_), 0);
    client_ = Connect();
    ASSERT_GE(client_, 0);
  }

  void TearDown() override {
    close(client_);
    close(opener_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  int Connect() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port_.c_str())));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  std::string Ask(const std::string& command, int fd = -1) {
    fd = fd < 0 ? client_ : fd;
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
      return "(send failed)";
    }
    return ReadLine(fd, true);
  }

  std::vector<std::uint8_t> OpenerReads(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t buffer[512];
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p = {opener_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) {
        break;
      }
      const ssize_t n = read(opener_, buffer, sizeof(buffer));
      if (n > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
      }
    }
    return bytes;
  }

  bool OpenerWrites(const std::vector<std::uint8_t>& bytes) {
    return write(opener_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  pid_t pid_ = -1;
  std::string slavePath_;
  std::string port_;
  int opener_ = -1;
  int client_ = -1;
  termios initial_{};
};

std::vector<std::uint8_t> AllByteValues() {
  std::vector<std::uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

TEST_F(LineServerTest, LineIsRawBeforeAnyoneSetsItUp) {
  EXPECT_EQ(initial_.c_lflag & (ISIG | ICANON | ECHO | IEXTEN), 0u);
  EXPECT_EQ(initial_.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
  EXPECT_EQ(initial_.c_oflag & OPOST, 0u);
}

TEST_F(LineServerTest, EveryByteValuePassesUnchangedBothWays) {
  const auto bytes = AllByteValues();  // with the interrupt, quit and suspend characters
  EXPECT_EQ(Ask("SEND " + Hex(bytes)), "OK 256");
  EXPECT_EQ(OpenerReads(256, 2s), bytes);
  ASSERT_TRUE(OpenerWrites(bytes));
  EXPECT_EQ(Ask("READ 256 2000"), "OK " + Hex(bytes));
}

TEST_F(LineServerTest, ReadEndsAtItsTimeOutWithWhatCame) {
  ASSERT_TRUE(OpenerWrites({0x11, 0x22}));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask("READ 10 150"), "OK 1122");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 140ms);  // the line's ms rounding
  EXPECT_EQ(Ask("READ 1 0"), "OK");
}

TEST_F(LineServerTest, SuspendHoldsTheOpenersOutputUntilResume) {
  ASSERT_EQ(Ask("SUSPEND"), "OK");
  const std::uint8_t byte = 0x5a;
  EXPECT_LT(write(opener_, &byte, 1), 1);  // a stopped line takes nothing
  EXPECT_EQ(Ask("READ 1 100"), "OK");
  ASSERT_EQ(Ask("RESUME"), "OK");
  ASSERT_EQ(write(opener_, &byte, 1), 1);
  EXPECT_EQ(Ask("READ 1 1000"), "OK 5a");
}

TEST_F(LineServerTest, ResetDiscardsBothDirectionsAndResumesOutput) {
  ASSERT_TRUE(OpenerWrites({1, 2, 3}));
  ASSERT_EQ(Ask("SEND 040506"), "OK 3");
  // The opener's bytes are handed to the server's side by the kernel after the write returns,
  // with nothing to show when: time to land.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Ask("QUEUED"), "OK 3");
  ASSERT_EQ(Ask("SUSPEND"), "OK");
  EXPECT_EQ(Ask("RESET"), "OK");
  EXPECT_EQ(Ask("QUEUED"), "OK 0");
  EXPECT_EQ(Ask("READ 1 100"), "OK");
  EXPECT_TRUE(OpenerReads(1, 100ms).empty());
  ASSERT_TRUE(OpenerWrites({7}));
  EXPECT_EQ(Ask("READ 1 1000"), "OK 07");
}

TEST_F(LineServerTest, SettingsShowTheOpenersLine) {
  termios t = initial_;
  t.c_cflag |= PARENB | PARODD | CSTOPB | CRTSCTS;
  t.c_iflag |= INPCK;
  cfsetspeed(&t, B230400);
  tcsetattr(opener_, TCSANOW, &t);  // fails with PARENB on a pseudo-terminal, yet is applied
  const std::string answer = Ask("SETTINGS");
  EXPECT_EQ(answer.rfind("OK baud=230400 parity=odd stop=2 cs8=1 crtscts=1 ixon=0 ixoff=0 "
                         "inpck=1 clocal=1 cread=1 raw=1 iflag=0x",
                         0),
            0u)
      << answer;
}

TEST_F(LineServerTest, ServesOneConnectionAfterAnotherAndEndsOnQuit) {
  for (const char* bad : {"", "send 00", "SEND", "SEND 0", "SEND 0g", "SEND 00 11", "SEND  00",
                          "READ 5", "READ 0 10", "READ x 10", "READ 5 -1", "READ 1048577 10",
                          "READ 5 600001", "SETTINGS now", "QUEUED 0", "QUIT 1", "HELLO"}) {
    EXPECT_EQ(Ask(bad).rfind("ERR ", 0), 0u) << bad;
  }
  EXPECT_TRUE(OpenerReads(1, 20ms).empty());
  close(client_);
  client_ = Connect();
  ASSERT_GE(client_, 0);
  EXPECT_EQ(Ask("SEND 03\r"), "OK 1");  // a Windows client's line end
  EXPECT_EQ(Ask("QUIT"), "OK");
  int status = -1;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
