// The serial port behind the browser tests' stand-in Web Serial: the bridge (bridge.mjs) drives
// it with one command a line on standard input and reads one answer a line:
//   open PATH BAUD none|odd|even STOPBITS  -> "ok" | "err MESSAGE"
//   write HEX                              -> "ok" once the tty has taken every byte | "err ..."
//   close                                  -> "ok"
// The tty is opened exclusively, as the real link opens a port, so a second helper holding it
// makes the next open fail like a port held by another program.
// With --listen it is the other end instead: it makes a pseudo-terminal, prints "path PATH", then
// "settings BAUD none|odd STOPBITS" at each change of the line settings and "bytes HEX" for what
// arrives, so a test sees exactly what went out and at which settings.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "link/linux/tty_open.h"
#include "protocol/line_settings.h"
#include "sim/pty_line.h"

namespace {

using tarvex::LineSettings;

const std::map<std::string, std::uint8_t> PARITY_CODES = {
    {"none", tarvex::PARITY_CODE_NONE},
    {"odd", tarvex::PARITY_CODE_ODD},
    {"even", tarvex::PARITY_CODE_EVEN},
};

bool DecodeHex(const std::string& hex, std::vector<std::uint8_t>& bytes) {
  if (hex.size() % 2 != 0) {
    return false;
  }
  bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) {
      return false;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

// The descriptor is non-blocking: wait for room whenever the tty's queue is full.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      error = std::strerror(errno);
      return false;
    }
    pollfd room{fd, POLLOUT, 0};
    ::poll(&room, 1, 100);
  }
  return true;
}

class Port {
 public:
  ~Port() { Close(); }

  std::string Open(std::istringstream& args) {
    std::string path;
    std::string parity;
    unsigned baud = 0;
    unsigned stopBits = 0;
    args >> path >> baud >> parity >> stopBits;
    if (!args || PARITY_CODES.count(parity) == 0 || (stopBits != 1 && stopBits != 2)) {
      return "err bad open command";
    }
    if (fd_ >= 0) {
      return "err already open";
    }
    const LineSettings settings{baud, PARITY_CODES.at(parity), static_cast<std::uint8_t>(stopBits)};
    tarvex::OsError error;
    fd_ = tarvex::posix::OpenExclusiveTty(path, settings, false, error);
    return fd_ >= 0 ? "ok" : "err " + error.Message();
  }

  std::string Write(std::istringstream& args) {
    std::string hex;
    args >> hex;
    std::vector<std::uint8_t> bytes;
    if (!DecodeHex(hex, bytes)) {
      return "err bad write command";
    }
    if (fd_ < 0) {
      return "err not open";
    }
    std::string error;
    return WriteAll(fd_, bytes, error) ? "ok" : "err " + error;
  }

  std::string Close() {
    if (fd_ >= 0) {
      tarvex::posix::CloseExclusiveTty(fd_);
      fd_ = -1;
    }
    return "ok";
  }

 private:
  int fd_ = -1;
};

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
  static const char DIGITS[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    hex += DIGITS[bytes[i] >> 4];
    hex += DIGITS[bytes[i] & 0xF];
  }
  return hex;
}

void ReportPacket(tarvex::PtyLine& pty, const tarvex::PtyPacket& packet,
                  const std::uint8_t* bytes) {
  if (packet.event == tarvex::PtyEvent::Bytes) {
    std::cout << "bytes " << Hex(bytes, packet.size) << std::endl;
  }
  tarvex::PtyLineSettings settings;
  if (packet.event == tarvex::PtyEvent::SettingsChanged && pty.Settings(settings)) {
    // A pseudo-terminal cannot tell even parity from none.
    std::cout << "settings " << settings.baud << ' '
              << (settings.parity == tarvex::PtyParity::Odd ? "odd" : "none") << ' '
              << unsigned{settings.stopBits} << std::endl;
  }
}

int Listen() {
  tarvex::PtyLine pty;
  if (!pty.Ok()) {
    std::cerr << "cannot create a pseudo-terminal: " << std::strerror(errno) << '\n';
    return 1;
  }
  std::cout << "path " << pty.SlavePath() << std::endl;
  std::uint8_t buffer[4096];
  for (;;) {
    if (!pty.WaitReadable(std::chrono::milliseconds{1000})) {
      continue;
    }
    const tarvex::PtyPacket packet = pty.ReadPacket(buffer, sizeof buffer);
    if (packet.event == tarvex::PtyEvent::Failed) {
      return 1;
    }
    ReportPacket(pty, packet, buffer);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--listen") {
    return Listen();
  }
  Port port;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream args(line);
    std::string command;
    args >> command;
    std::string answer = "err unknown command";
    if (command == "open") {
      answer = port.Open(args);
    } else if (command == "write") {
      answer = port.Write(args);
    } else if (command == "close") {
      answer = port.Close();
    }
    std::cout << answer << std::endl;
  }
  return 0;
}
