#include "tests/wine/line_commands.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <charconv>
#include <chrono>
#include <cstdio>

namespace tarvex::wine {

namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Splits at single spaces; empty words are kept so that stray spaces make a command invalid.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = text.find(' ', start);
    words.push_back(text.substr(start, space - start));
    if (space == std::string_view::npos) {
      return words;
    }
    start = space + 1;
  }
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc{} && ptr == end && !text.empty();
}

std::string Flag(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

}  // namespace

std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text.push_back(HEX_DIGITS[b >> 4]);
    text.push_back(HEX_DIGITS[b & 0x0f]);
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string FormatSettings(const PtyLineSettings& s) {
  auto bit = [](bool on) { return on ? "1" : "0"; };
  std::string text = "baud=" + std::to_string(s.baud);
  text += s.parity == PtyParity::Odd ? " parity=odd" : " parity=none-or-even";
  text += " stop=" + std::to_string(s.stopBits);
  text += std::string(" cs8=") + bit(s.eightDataBits);
  text += std::string(" crtscts=") + bit(s.hardwareFlow);
  text += std::string(" ixon=") + bit(s.outputXonXoff);
  text += std::string(" ixoff=") + bit(s.inputXonXoff);
  text += std::string(" inpck=") + bit(s.parityCheck);
  text += std::string(" clocal=") + bit(s.local);
  text += std::string(" cread=") + bit(s.receiverOn);
  text += std::string(" raw=") + bit(s.raw);
  text += " iflag=" + Flag(s.iflag) + " oflag=" + Flag(s.oflag) + " cflag=" + Flag(s.cflag) +
          " lflag=" + Flag(s.lflag);
  return text;
}

std::string LineCommands::Handle(std::string_view command) {
  const std::vector<std::string_view> words = Words(command);
  const std::string_view verb = words.front();
  const std::size_t args = words.size() - 1;

  if (verb == "RESET" && args == 0) {
    line_.ResumeOutput();
    line_.Drain();
    if (tcflush(slaveFd_, TCIFLUSH) != 0) {
      return "ERR cannot discard the opener's input";
    }
    return "OK";
  }
  if (verb == "SEND" && args == 1) {
    const auto bytes = FromHex(words[1]);
    if (!bytes || bytes->empty() || bytes->size() > MAX_TRANSFER_BYTES) {
      return "ERR SEND wants 1 to 1048576 bytes as hex";
    }
    if (!line_.Send(bytes->data(), bytes->size())) {
      return "ERR sending failed";
    }
    return "OK " + std::to_string(bytes->size());
  }
  if (verb == "QUEUED" && args == 0) {
    // What a test waits for before it opens the port over bytes that came while it was shut.
    int queued = 0;
    if (ioctl(slaveFd_, FIONREAD, &queued) != 0) {
      return "ERR cannot count the opener's input";
    }
    return "OK " + std::to_string(queued);
  }
  if (verb == "READ" && args == 2) {
    std::size_t count = 0;
    long timeoutMs = 0;
    if (!ParseNumber(words[1], count) || !ParseNumber(words[2], timeoutMs) || count == 0 ||
        count > MAX_TRANSFER_BYTES || timeoutMs < 0 || timeoutMs > MAX_READ_MS) {
      return "ERR READ wants a count of 1 to 1048576 and a time-out of 0 to 600000 ms";
    }
    const auto bytes = line_.ReadFor(count, std::chrono::milliseconds{timeoutMs});
    return bytes.empty() ? "OK" : "OK " + ToHex(bytes);
  }
  if (verb == "SETTINGS" && args == 0) {
    PtyLineSettings settings;
    if (!line_.Settings(settings)) {
      return "ERR cannot read the line settings";
    }
    return "OK " + FormatSettings(settings);
  }
  if (verb == "SUSPEND" && args == 0) {
    return line_.SuspendOutput() ? "OK" : "ERR cannot suspend output";
  }
  if (verb == "RESUME" && args == 0) {
    return line_.ResumeOutput() ? "OK" : "ERR cannot resume output";
  }
  if (verb == "QUIT" && args == 0) {
    quit_ = true;
    return "OK";
  }
  return "ERR unknown command or wrong arguments: " + std::string(command.substr(0, 40));
}

}  // namespace tarvex::wine
