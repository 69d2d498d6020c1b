// Bytes placed at fixture addresses, as build outputs give them, and their merge into the
// contiguous runs that become an image's segments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

inline constexpr std::uint64_t ADDRESS_SPACE = std::uint64_t{1} << 32;  // bytes

struct AddressedBytes {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> bytes;
  std::string origin;  // where they came from, for messages: "app.bin", "fw.hex line 12"
  bool operator==(const AddressedBytes& other) const {
    return address == other.address && bytes == other.bytes;
  }
};

struct MergedRuns {
  std::vector<AddressedBytes> runs;  // in address order, neither overlapping nor touching
  std::string error;                 // set when the pieces cannot be merged
  bool ok() const { return error.empty(); }
};

// Sorts the pieces by address and joins those that touch. Refused: pieces that overlap (even
// with equal bytes: two inputs claiming one address is a build mistake) and pieces that pass the
// top of the 32-bit address space. Empty pieces are dropped.
MergedRuns MergeRuns(std::vector<AddressedBytes> pieces);

}  // namespace tarvex
