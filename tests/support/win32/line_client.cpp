#include "tests/support/win32/line_client.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace tarvex::test {

namespace {

// Every answer but a READ's comes at once; this only ends a wait on a server that is gone.
constexpr std::chrono::milliseconds ANSWER_WAIT{10000};

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

SOCKET AsSocket(std::uintptr_t s) {
  return static_cast<SOCKET>(s);
}

std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t b : bytes) {
    text.push_back(DIGITS[b >> 4]);
    text.push_back(DIGITS[b & 0x0f]);
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> FromHex(const std::string& text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

}  // namespace

const char* ComName() {
  return Env("TARVEX_LINE_COM");
}

LineClient::LineClient() {
  const std::string port = Env("TARVEX_LINE_PORT");
  if (port.empty()) {
    reason_ = "TARVEX_LINE_PORT is not set: run under tests/wine/run for a line to test against";
    return;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    reason_ = "WSAStartup failed";
    return;
  }
  started_ = true;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(port.c_str())));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET ||
      connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    reason_ = "cannot connect to the line server on 127.0.0.1:" + port + " (error " +
              std::to_string(WSAGetLastError()) + ")";
    if (s != INVALID_SOCKET) {
      closesocket(s);
    }
    return;
  }
  socket_ = static_cast<std::uintptr_t>(s);
}

LineClient::~LineClient() {
  if (Available()) {
    closesocket(AsSocket(socket_));
  }
  if (started_) {
    WSACleanup();
  }
}

std::optional<std::string> LineClient::Ask(const std::string& command,
                                           std::chrono::milliseconds wait) {
  if (!Available()) {
    return std::nullopt;
  }
  const SOCKET s = AsSocket(socket_);
  const std::string line = command + "\n";
  for (std::size_t sent = 0; sent < line.size();) {
    const int n = send(s, line.data() + sent, static_cast<int>(line.size() - sent), 0);
    if (n <= 0) {
      reason_ = "the line server connection broke while sending";
      return std::nullopt;
    }
    sent += static_cast<std::size_t>(n);
  }
  const DWORD waitMs = static_cast<DWORD>(wait.count());
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&waitMs), sizeof(waitMs));
  std::size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    char buffer[65536];
    const int n = recv(s, buffer, sizeof(buffer), 0);
    if (n <= 0) {
      reason_ = "no answer from the line server to " + command.substr(0, command.find(' '));
      return std::nullopt;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
  std::string answer = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (answer == "OK") {
    return std::string();
  }
  if (answer.rfind("OK ", 0) == 0) {
    return answer.substr(3);
  }
  reason_ = "line server: " + answer;
  return std::nullopt;
}

bool LineClient::Reset() {
  return Ask("RESET", ANSWER_WAIT).has_value();
}

bool LineClient::Send(const std::vector<std::uint8_t>& bytes) {
  return Ask("SEND " + ToHex(bytes), ANSWER_WAIT).has_value();
}

std::optional<std::size_t> LineClient::Queued() {
  const auto answer = Ask("QUEUED", ANSWER_WAIT);
  if (!answer) {
    return std::nullopt;
  }
  char* end = nullptr;
  const unsigned long count = std::strtoul(answer->c_str(), &end, 10);
  if (answer->empty() || *end != '\0') {
    reason_ = "the line server's QUEUED answer is not a count";
    return std::nullopt;
  }
  return count;
}

std::optional<std::vector<std::uint8_t>> LineClient::Read(std::size_t count,
                                                          std::chrono::milliseconds timeout) {
  const auto answer = Ask("READ " + std::to_string(count) + " " + std::to_string(timeout.count()),
                          timeout + ANSWER_WAIT);
  if (!answer) {
    return std::nullopt;
  }
  auto bytes = FromHex(*answer);
  if (!bytes) {
    reason_ = "the line server's READ answer is not hex";
  }
  return bytes;
}

std::optional<SeenLineSettings> LineClient::Settings() {
  const auto answer = Ask("SETTINGS", ANSWER_WAIT);
  if (!answer) {
    return std::nullopt;
  }
  std::map<std::string, std::string> fields;
  std::istringstream words(*answer);
  std::string word;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) {
      fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
  }
  auto number = [&](const char* key) {
    return static_cast<std::uint32_t>(std::strtoul(fields[key].c_str(), nullptr, 0));
  };
  auto flag = [&](const char* key) { return fields[key] == "1"; };
  SeenLineSettings s;
  s.baud = number("baud");
  s.oddParity = fields["parity"] == "odd";
  s.parityCheck = flag("inpck");
  s.stopBits = static_cast<std::uint8_t>(number("stop"));
  s.eightDataBits = flag("cs8");
  s.hardwareFlow = flag("crtscts");
  s.outputXonXoff = flag("ixon");
  s.inputXonXoff = flag("ixoff");
  s.local = flag("clocal");
  s.receiverOn = flag("cread");
  s.raw = flag("raw");
  s.iflag = number("iflag");
  s.oflag = number("oflag");
  s.cflag = number("cflag");
  s.lflag = number("lflag");
  if (s.baud == 0 || s.stopBits == 0) {
    reason_ = "the line server's SETTINGS answer lacks fields: " + *answer;
    return std::nullopt;
  }
  return s;
}

bool LineClient::Suspend() {
  return Ask("SUSPEND", ANSWER_WAIT).has_value();
}

bool LineClient::Resume() {
  return Ask("RESUME", ANSWER_WAIT).has_value();
}

std::vector<ModemChange> LineClient::ModemChanges() const {
  // The log is a file of the Linux side; Wine shows its root as drive Z:.
  std::string path = Env("TARVEX_WINE_MODEM_LOG");
  const std::string pty = Env("TARVEX_LINE_PTY");  // "/dev/pts/N"; the log says "pts/N"
  std::vector<ModemChange> changes;
  if (path.empty() || pty.size() < 5) {
    return changes;
  }
  for (char& c : path) {
    c = c == '/' ? '\\' : c;
  }
  std::ifstream log("Z:" + path);
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    std::string device;
    ModemChange change;
    std::string rts;
    std::string dtr;
    if (words >> device >> change.request >> rts >> dtr && device == pty.substr(5)) {
      change.rts = rts == "RTS=1";
      change.dtr = dtr == "DTR=1";
      changes.push_back(change);
    }
  }
  return changes;
}

}  // namespace tarvex::test
