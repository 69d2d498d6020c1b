// Fuzzes the Intel HEX reader: any text gives data or a reason. What it reads, written out again
// and read back, gives the same bytes at the same addresses.
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/address_runs.h"
#include "tools/intel_hex.h"

using tarvex::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
  tarvex::HexRead read = tarvex::ReadIntelHex(text, "fuzz.hex");
  if (!read.ok()) {
    Require(read.pieces.empty());
    return 0;
  }
  std::ostringstream written;
  tarvex::IntelHexWriter writer(written);
  for (const tarvex::AddressedBytes& piece : read.pieces) {
    Require(!piece.bytes.empty());
    Require(writer.Write(piece.address, piece.bytes));
  }
  writer.Finish();
  std::istringstream again(written.str());
  const tarvex::HexRead reread = tarvex::ReadIntelHex(again, "again.hex");
  Require(reread.ok());
  const tarvex::MergedRuns first = tarvex::MergeRuns(std::move(read.pieces));
  const tarvex::MergedRuns second = tarvex::MergeRuns(reread.pieces);
  Require(first.ok() == second.ok());
  Require(!first.ok() || first.runs == second.runs);
  return 0;
}
