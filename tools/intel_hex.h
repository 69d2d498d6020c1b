// Intel HEX with 32-bit addresses: data records of up to 16 bytes under extended linear address
// records, and an end-of-file record. Sparse ranges stay at their addresses without filling.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/address_runs.h"

namespace tarvex {

// Streams records out as bytes arrive, so a large segment never has to be held whole.
class IntelHexWriter {
 public:
  explicit IntelHexWriter(std::ostream& out) : out_(out) {}
  // Data records for `bytes` at `address`; false (nothing written) when they would pass
  // 0xFFFFFFFF, which the format cannot address.
  bool Write(std::uint64_t address, std::span<const std::uint8_t> bytes);
  // The end-of-file record.
  void Finish();

 private:
  std::ostream& out_;
  std::optional<std::uint64_t> window_;  // upper 16 address bits of the last linear record
};

struct HexRead {
  std::vector<AddressedBytes> pieces;  // contiguous records joined, in file order
  std::string error;                   // "fw.hex line 7: bad checksum ...", empty when read
  bool ok() const { return error.empty(); }
};

// Reads data (00), end-of-file (01), extended segment (02) and extended linear (04) records;
// start addresses (03, 05) are of no use to an image and skipped. Under a segment record a
// record's bytes wrap within its 64 KiB segment. Only blank lines may follow the end-of-file
// record. `name` labels messages.
HexRead ReadIntelHex(std::istream& in, std::string_view name);

}  // namespace tarvex
