// A fuzz input read as what a line delivers to the fixture: one byte of fixture options, then
// operations that feed a chunk of bytes, wait, or change the line settings. The corpus writer
// encodes whole downloads the same way, so the fuzzer starts from inputs that get deep.
//
// Operations, chosen by the low two bits of their first byte `op`:
//   0  a chunk of op >> 2 bytes (0 to 63), which follow
//   1  a chunk of n + 1 bytes, n in the next two bytes (little-endian), then the bytes
//   2  a wait of n units, n in the next two bytes; the unit is 1 us, 1 ms, 100 ms or 10 s by
//      bits 2..3 of op
//   3  the line settings become row (op >> 2) modulo the table's size of LineScriptSettings()
// The input may end anywhere: a cut operation takes what is there.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/line_settings.h"
#include "sim/virtual_fixture.h"

namespace tarvex::fuzz {

// The settings a line script can switch to; row 0 is what the line starts with.
std::span<const LineSettings> LineScriptSettings();

// The fixture options the first byte chooses: bit 0 a pseudo-terminal's view of parity, bits 1..2
// the gap scale (1, 0.01, 0.001, 0), bit 3 no gap tolerance. An empty input gives the defaults.
FixtureOptions LineScriptOptions(std::span<const std::uint8_t> script);

// Feeds the script to `fixture`; returns how many bytes it fed.
std::uint64_t PlayLineScript(std::span<const std::uint8_t> script, VirtualFixture& fixture);

class LineScriptWriter {
 public:
  explicit LineScriptWriter(std::uint8_t options = 0) : script_{options} {}

  void Feed(std::span<const std::uint8_t> bytes);
  void Wait(std::chrono::microseconds duration);
  // `settings` must be a row of LineScriptSettings(); nothing is written when they stay the same.
  void Settings(const LineSettings& settings);

  const std::vector<std::uint8_t>& Script() const { return script_; }

 private:
  void PutOp(std::uint8_t op, std::uint16_t count);
  std::vector<std::uint8_t> script_;
  LineSettings settings_ = LineScriptSettings()[0];
};

}  // namespace tarvex::fuzz
