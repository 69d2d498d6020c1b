// Fuzzes the simulated fixture's decoder with what a line may deliver (fuzz/line_script.h): it
// must account for every byte and keep its memory consistent, whatever arrives.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz/line_script.h"
#include "sim/virtual_fixture.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Every byte fed belongs to the last exchange or to one that a new exchange cut short.
std::uint64_t LineBytesCounted(const tarvex::FixtureVerdict& verdict) {
  std::uint64_t counted = verdict.lineBytes;
  for (const tarvex::ExchangeVerdict& exchange : verdict.interrupted) {
    counted += exchange.lineBytes;
  }
  return counted;
}

// Ranges in address order, apart from each other, adding up to the bytes written.
void CheckSegments(const tarvex::ExchangeVerdict& verdict) {
  std::uint64_t total = 0;
  std::uint64_t previousEnd = 0;
  for (const tarvex::MemorySegment& segment : verdict.segments) {
    Require(segment.length != 0);
    Require(total == 0 || segment.address > previousEnd);
    previousEnd = segment.address + segment.length;
    Require(previousEnd <= std::uint64_t{1} << 32);
    total += segment.length;
  }
  Require(total == verdict.totalBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> script(data, size);
  tarvex::VirtualFixture fixture(tarvex::fuzz::LineScriptOptions(script));
  const std::uint64_t fed = tarvex::fuzz::PlayLineScript(script, fixture);
  const tarvex::FixtureVerdict verdict = fixture.Verdict();
  Require(LineBytesCounted(verdict) == fed);
  CheckSegments(verdict);
  for (const tarvex::ExchangeVerdict& exchange : verdict.interrupted) {
    CheckSegments(exchange);
  }
  Require(!verdict.Intact() || verdict.endSeen);
  return 0;
}
