#include "sim/fixture_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <ostream>
#include <vector>

namespace tarvex {

namespace {

constexpr std::size_t HEX_RECORD_DATA_MAX = 16;  // bytes per data record
constexpr std::uint64_t HEX_WINDOW = 0x10000;    // bytes one linear address record covers
constexpr std::uint8_t HEX_DATA = 0x00;
constexpr std::uint8_t HEX_END = 0x01;
constexpr std::uint8_t HEX_LINEAR_ADDRESS = 0x04;

std::string Format(const char* format, auto... values) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), format, values...);
  return text.data();
}

void HexRecord(std::ostream& out, std::uint8_t type, std::uint16_t address,
               const std::vector<std::uint8_t>& data) {
  std::uint8_t sum =
      static_cast<std::uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
  std::string line = Format(":%02X%04X%02X", static_cast<unsigned>(data.size()),
                            static_cast<unsigned>(address), static_cast<unsigned>(type));
  for (const std::uint8_t byte : data) {
    line += Format("%02X", static_cast<unsigned>(byte));
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  line += Format("%02X\n", static_cast<unsigned>(static_cast<std::uint8_t>(-sum)));
  out << line;
}

}  // namespace

std::string DescribeVerdict(const FixtureVerdict& verdict) {
  std::string text;
  text += "Model:          " + (verdict.model ? verdict.modelText : std::string("(none)")) + "\n";
  text += std::string("Wake-up:        ") + (verdict.wakeSeen ? "yes" : "no") + "\n";
  text += "Payload length: " +
          (verdict.announcedSize ? std::to_string(*verdict.announcedSize) + " bytes"
                                 : std::string("(none)")) +
          "\n";
  text += "Blocks:         " + std::to_string(verdict.blocks) + "\n";
  if (verdict.testCodes != 0) {
    text += "Test codes:     " + std::to_string(verdict.testCodes) + "\n";
  }
  text += "Received:       " + std::to_string(verdict.totalBytes) + " bytes in " +
          std::to_string(verdict.segments.size()) + " segment(s)\n";
  for (const MemorySegment& segment : verdict.segments) {
    text += Format("  0x%08X  %llu bytes\n", static_cast<unsigned>(segment.address),
                   static_cast<unsigned long long>(segment.length));
  }
  if (!verdict.faults.empty()) {
    text += "Faults:\n";
    for (const FixtureFault& fault : verdict.faults) {
      text +=
          Format("  +%.3f s  ", static_cast<double>(fault.at.count()) / 1e6) + fault.text + "\n";
    }
  }
  text += verdict.Intact() ? std::string("Verdict: received intact\n")
                           : "Verdict: " + std::to_string(verdict.faults.size()) + " fault(s)\n";
  return text;
}

bool WriteIntelHex(const FixtureMemory& memory, std::ostream& out) {
  std::optional<std::uint64_t> window;  // upper 16 address bits of the last linear record
  std::vector<std::uint8_t> data;
  for (const auto& [start, bytes] : memory.Ranges()) {
    for (std::uint64_t done = 0; done < bytes.size();) {
      const std::uint64_t address = start + done;
      if (window != address / HEX_WINDOW) {
        window = address / HEX_WINDOW;
        HexRecord(out, HEX_LINEAR_ADDRESS, 0,
                  {static_cast<std::uint8_t>(*window >> 8), static_cast<std::uint8_t>(*window)});
      }
      // A record never crosses into the next 64 KiB window.
      const std::uint64_t count = std::min<std::uint64_t>(
          {HEX_RECORD_DATA_MAX, bytes.size() - done, HEX_WINDOW - address % HEX_WINDOW});
      data.assign(bytes.begin() + done, bytes.begin() + done + count);
      HexRecord(out, HEX_DATA, static_cast<std::uint16_t>(address % HEX_WINDOW), data);
      done += count;
    }
  }
  HexRecord(out, HEX_END, 0, {});
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace tarvex
