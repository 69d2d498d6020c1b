// The inputs `pack` takes: FILE@ADDRESS for raw bytes, an Intel HEX file (.hex, .ihex), or an
// ELF file (recognised by its first bytes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/address_runs.h"

namespace tarvex {

struct PackInput {
  std::vector<AddressedBytes> pieces;
  std::string error;         // the reason and the fix; empty when read
  bool badArgument = false;  // the argument itself is wrong, as opposed to the file's contents
  bool ok() const { return error.empty(); }
};

// "0x8000" (hex, either case) or "32768"; empty unless the whole text is one 32-bit number.
std::optional<std::uint32_t> ParseAddress(std::string_view text);

// Reads one input named by `argument` (UTF-8). Only regular files are opened, and a raw file's
// size is checked against the address space before it is read.
PackInput ReadPackInput(const std::string& argument);

}  // namespace tarvex
