// The fixture's memory as rebuilt from the blocks it received: target address -> bytes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/image_loader.h"

namespace tarvex {

// One contiguous range of written addresses.
struct MemorySegment {
  std::uint32_t address = 0;
  std::uint64_t length = 0;  // bytes; up to 2^32 when a range reaches the top of the address space
  bool operator==(const MemorySegment&) const = default;
};

// Sparse memory kept as disjoint, non-adjacent ranges, so that a segment written block by block
// stays one range. A later write over the same addresses wins, as it would in the fixture.
class FixtureMemory {
 public:
  // Writes `bytes` at `address`; false (and nothing written) when they would pass 0xFFFFFFFF.
  bool Write(std::uint32_t address, std::span<const std::uint8_t> bytes);

  std::vector<MemorySegment> Segments() const;
  std::uint64_t TotalBytes() const;  // distinct addresses written
  bool Empty() const { return ranges_.empty(); }
  // Start address -> bytes of each range, in address order.
  const std::map<std::uint64_t, std::vector<std::uint8_t>>& Ranges() const { return ranges_; }

  bool operator==(const FixtureMemory&) const = default;

 private:
  std::map<std::uint64_t, std::vector<std::uint8_t>> ranges_;
};

// What a fixture holds after a whole download of `image`: its segments in table order, read
// from the file. Empty with `error` set when a segment cannot be read.
struct ExpectedMemory {
  std::optional<FixtureMemory> memory;
  std::string error;
};
ExpectedMemory MemoryOfImage(const FirmwareImage& image);

// The first difference between what a fixture received and what it should hold, as one
// sentence ("byte at 0x00001004 is 0x00, expected 0x5A"); empty when they are equal.
std::string FirstDifference(const FixtureMemory& received, const FixtureMemory& expected);

}  // namespace tarvex
