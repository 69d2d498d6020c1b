// Line settings of an open port and the timing that follows from them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tarvex {

inline constexpr std::uint8_t PARITY_CODE_NONE = 0;
inline constexpr std::uint8_t PARITY_CODE_ODD = 1;
inline constexpr std::uint8_t PARITY_CODE_EVEN = 2;

struct LineSettings {
  std::uint32_t baud = 0;  // bit/s
  std::uint8_t parity = PARITY_CODE_NONE;
  std::uint8_t stopBits = 1;  // 1 or 2
  bool operator==(const LineSettings&) const = default;
};

// Always 8 data bits. One stop bit at exactly 140000 bit/s; elsewhere two without parity and
// one with parity.
LineSettings MakeLineSettings(std::uint32_t baud, std::uint8_t parity);

// Start bit + 8 data bits + parity bit (if any) + stop bits.
std::uint32_t BitsPerCharacter(const LineSettings& settings);

// Time that `characters` take on the wire at these settings.
std::chrono::microseconds WireTime(const LineSettings& settings, std::uint64_t characters);

// A write of `length` bytes gives up after 2000 ms + 50 ms per byte.
std::chrono::milliseconds WriteTimeout(std::uint32_t length);

// "none", "odd" or "even", as records and the browser's serial API name a parity.
const char* ParityName(std::uint8_t parity);

// "115200 8O1", "250000 8N2", ...
std::string Describe(const LineSettings& settings);

}  // namespace tarvex
