#include "tools/address_runs.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

namespace tarvex {

namespace {

std::uint64_t EndOf(const AddressedBytes& piece) {
  return std::uint64_t{piece.address} + piece.bytes.size();
}

std::string RangeText(const AddressedBytes& piece) {
  return fmt::format("0x{:08X}..0x{:08X} ({})", piece.address, EndOf(piece) - 1, piece.origin);
}

}  // namespace

MergedRuns MergeRuns(std::vector<AddressedBytes> pieces) {
  std::erase_if(pieces, [](const AddressedBytes& piece) { return piece.bytes.empty(); });
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const auto& a, const auto& b) { return a.address < b.address; });
  MergedRuns merged;
  for (AddressedBytes& piece : pieces) {
    if (EndOf(piece) > ADDRESS_SPACE) {
      merged.error =
          fmt::format("{} passes the top of the address space, 0xFFFFFFFF", RangeText(piece));
      return merged;
    }
    if (!merged.runs.empty() && EndOf(merged.runs.back()) > piece.address) {
      merged.error =
          fmt::format("inputs overlap: {} and {}", RangeText(merged.runs.back()), RangeText(piece));
      return merged;
    }
    if (!merged.runs.empty() && EndOf(merged.runs.back()) == piece.address) {
      std::vector<std::uint8_t>& bytes = merged.runs.back().bytes;
      bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    } else {
      merged.runs.push_back(std::move(piece));
    }
  }
  return merged;
}

}  // namespace tarvex
