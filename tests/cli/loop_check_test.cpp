// loopcheck's verdict on one line setting, from samples as the two ports would give them.
#include "cli/loop_check.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvex::cli {
namespace {

using namespace std::chrono_literals;

constexpr LineSettings SETTINGS_8N2{250000, PARITY_CODE_NONE, 2};

// One second's worth at 250000 8N2, received intact in `reads` even pieces spread over `span`.
LoopSample Sample(std::size_t reads, LoopClock::duration span) {
  LoopSample sample;
  sample.settings = SETTINGS_8N2;
  sample.sent = LoopPattern(SETTINGS_8N2, 1000ms);
  sample.received.bytes = sample.sent;
  const LoopClock::time_point start{};
  for (std::size_t i = 1; i <= reads; ++i) {
    sample.arrivals.push_back(
        {start + span * static_cast<long>(i - 1) / static_cast<long>(reads - 1),
         sample.sent.size() * i / reads});
  }
  sample.counts = LineErrorCounts{};
  return sample;
}

TEST(LoopCheckTest, JudgesBytesErrorsAndSpeed) {
  // 22727 characters of 11 bits; the first read's 227 came before the span begins, the other
  // 22500 in 0.99 s give exactly 250000 bit/s, give or take one pause of 10 ms.
  const LoopSample exact = Sample(100, 1000ms * 99 / 100);
  struct Case {
    std::string name;
    LoopSample sample;
    bool ok;
    std::string line;
  } cases[] = {
      {"Intact", exact, true,
       "250000 8N2: OK, 22727 bytes intact, no line errors; 250000 bit/s ± 1.0 %"},
      {"OneStopBitOnly", Sample(100, 900ms), false, "; adapter gave 275000 bit/s"},
      {"SlowButWithinTolerance", Sample(100, 1000ms), true, "; 247500 bit/s"},
      {"PseudoTerminal", exact, true, "not measurable on a pseudo-terminal"},
      {"Changed", exact, false,
       "250000 8N2: FAILED, 22727 of 22727 bytes came, 2 of them changed, "
       "1 with a framing or parity error, line errors: 0 framing, 1 "
       "parity, 0 overrun, 0 break(s);"},
      {"Lost", exact, false, "20000 of 22727 bytes came"},
      {"TooFewReads", Sample(2, 1000ms), true, "speed not measurable"},
      {"OpenFailed", exact, false, "250000 8N2: FAILED, cannot open"},
  };
  cases[3].sample.checksLine = false;
  cases[4].sample.received.bytes[7] ^= 0x80;
  cases[4].sample.received.bytes[9] ^= 0x01;
  cases[4].sample.received.marked = {9};
  cases[4].sample.counts->parity = 1;
  cases[5].sample.received.bytes.resize(20000);
  cases[7].sample.failure = "cannot open /dev/ttyUSB0: no such device";
  for (const Case& c : cases) {
    const LoopVerdict verdict = JudgeLoop(c.sample);
    EXPECT_EQ(verdict.ok, c.ok) << c.name << ": " << verdict.line;
    EXPECT_NE(verdict.line.find(c.line), std::string::npos) << c.name << ": " << verdict.line;
  }
}

}  // namespace
}  // namespace tarvex::cli
