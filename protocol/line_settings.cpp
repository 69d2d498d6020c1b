#include "protocol/line_settings.h"

namespace tarvex {

namespace {

constexpr std::uint32_t ONE_STOP_BIT_BAUD = 140000;  // bit/s: one stop bit whatever the parity
constexpr std::uint32_t WRITE_TIMEOUT_BASE_MS = 2000;
constexpr std::uint32_t WRITE_TIMEOUT_PER_BYTE_MS = 50;

char ParityLetter(std::uint8_t parity) {
  switch (parity) {
    case PARITY_CODE_NONE:
      return 'N';
    case PARITY_CODE_ODD:
      return 'O';
    case PARITY_CODE_EVEN:
      return 'E';
    default:
      return '?';
  }
}

}  // namespace

LineSettings MakeLineSettings(std::uint32_t baud, std::uint8_t parity) {
  LineSettings settings;
  settings.baud = baud;
  settings.parity = parity;
  if (baud == ONE_STOP_BIT_BAUD) {
    settings.stopBits = 1;
  } else {
    settings.stopBits = parity == PARITY_CODE_NONE ? 2 : 1;
  }
  return settings;
}

std::uint32_t BitsPerCharacter(const LineSettings& settings) {
  const std::uint32_t parityBits = settings.parity == PARITY_CODE_NONE ? 0 : 1;
  return 1 + 8 + parityBits + settings.stopBits;
}

std::chrono::microseconds WireTime(const LineSettings& settings, std::uint64_t characters) {
  if (settings.baud == 0) {
    return std::chrono::microseconds{0};
  }
  const std::uint64_t bits = characters * BitsPerCharacter(settings);
  // Rounded up so that waiting this long never ends before the last stop bit.
  return std::chrono::microseconds{(bits * 1000000 + settings.baud - 1) / settings.baud};
}

std::chrono::milliseconds WriteTimeout(std::uint32_t length) {
  return std::chrono::milliseconds{WRITE_TIMEOUT_BASE_MS +
                                   std::uint64_t{WRITE_TIMEOUT_PER_BYTE_MS} * length};
}

const char* ParityName(std::uint8_t parity) {
  switch (parity) {
    case PARITY_CODE_ODD:
      return "odd";
    case PARITY_CODE_EVEN:
      return "even";
    default:
      return "none";
  }
}

std::string Describe(const LineSettings& settings) {
  std::string text = std::to_string(settings.baud);
  text += " 8";
  text += ParityLetter(settings.parity);
  text += std::to_string(settings.stopBits);
  return text;
}

}  // namespace tarvex
