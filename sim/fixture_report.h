// Texts and files made from what the virtual fixture received, for the command line.
#pragma once

#include <iosfwd>
#include <string>

#include "sim/fixture_memory.h"
#include "sim/virtual_fixture.h"

namespace tarvex {

// Several lines: model, wake-up, payload length, blocks, segments, faults, and a last line
// "Verdict: received intact" or "Verdict: N fault(s)". Every line ends with '\n'.
std::string DescribeVerdict(const FixtureVerdict& verdict);

// The memory as Intel HEX with 32-bit addresses (I32HEX: data records of up to 16 bytes,
// extended linear address records, end-of-file record), which keeps each range at its address
// without filling the gaps. False when the stream fails.
bool WriteIntelHex(const FixtureMemory& memory, std::ostream& out);

}  // namespace tarvex
