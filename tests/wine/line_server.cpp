// tarvex-wine-line: the device end of the COM port that Windows tests use under Wine. Makes a
// pseudo-terminal, prints its slave path and a TCP port on 127.0.0.1 (one line each), then
// answers the commands of line_commands.h from one client at a time until QUIT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "sim/pty_line.h"
#include "tests/wine/line_commands.h"

namespace {

// A SEND of the largest transfer, as hex, with room for the verb.
constexpr std::size_t MAX_COMMAND_BYTES = 2 * tarvex::wine::MAX_TRANSFER_BYTES + 64;

// Raw before anyone else opens the slave: a 0x03 from this side would otherwise reach whoever
// takes it as a controlling terminal as SIGINT.
int OpenRawSlave(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  termios t{};
  const bool read = tcgetattr(fd, &t) == 0;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  if (!read || tcsetattr(fd, TCSANOW, &t) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int Listen(unsigned& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

bool SendLine(int fd, const std::string& answer) {
  const std::string line = answer + "\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Serves one client until it goes away or asks to quit.
void Serve(int client, tarvex::wine::LineCommands& commands) {
  std::string pending;
  char buffer[65536];
  for (;;) {
    const std::size_t end = pending.find('\n');
    if (end == std::string::npos) {
      if (pending.size() > MAX_COMMAND_BYTES) {
        SendLine(client, "ERR command too long");
        return;
      }
      const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) {
        return;
      }
      pending.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    std::string command = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!command.empty() && command.back() == '\r') {
      command.pop_back();
    }
    if (!SendLine(client, commands.Handle(command)) || commands.QuitRequested()) {
      return;
    }
  }
}

}  // namespace

int main() {
  tarvex::PtyLine line;
  if (!line.Ok()) {
    std::cerr << "tarvex-wine-line: cannot create a pseudo-terminal: " << std::strerror(errno)
              << '\n';
    return 1;
  }
  const int slave = OpenRawSlave(line.SlavePath());
  if (slave < 0) {
    std::cerr << "tarvex-wine-line: cannot make " << line.SlavePath()
              << " raw: " << std::strerror(errno) << '\n';
    return 1;
  }
  unsigned port = 0;
  const int listener = Listen(port);
  if (listener < 0) {
    std::cerr << "tarvex-wine-line: cannot listen on 127.0.0.1: " << std::strerror(errno) << '\n';
    return 1;
  }
  std::cout << line.SlavePath() << '\n' << port << '\n' << std::flush;

  tarvex::wine::LineCommands commands(line, slave);
  while (!commands.QuitRequested()) {
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      std::cerr << "tarvex-wine-line: accept failed: " << std::strerror(errno) << '\n';
      return 1;
    }
    Serve(client, commands);
    close(client);
  }
  close(listener);
  close(slave);
  return 0;
}
