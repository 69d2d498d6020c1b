// Texts and files made from what the virtual fixture received, for the command line.
#pragma once

#include <iosfwd>
#include <string>

#include "sim/fixture_memory.h"
#include "sim/virtual_fixture.h"

namespace tarvex {

// Several lines: the downloads that were interrupted, each under its own heading, then the last
// exchange: model, wake-up, payload length, blocks, segments (a test code alone: the count),
// faults, and a last line "Verdict: received intact", "Verdict: test code received" or
// "Verdict: N fault(s)". Every line ends with '\n'.
std::string DescribeVerdict(const FixtureVerdict& verdict);

// One line while the fixture listens, e.g. "Downloading: 12 frame(s), 8213 bytes, last
// BlockFrame (1 interrupted before)".
std::string DescribeProgress(const FixtureVerdict& verdict);

// The memory as Intel HEX with 32-bit addresses (I32HEX: data records of up to 16 bytes,
// extended linear address records, end-of-file record), which keeps each range at its address
// without filling the gaps. False when the stream fails.
bool WriteIntelHex(const FixtureMemory& memory, std::ostream& out);

}  // namespace tarvex
