// Fuzzes the ELF reader: any file gives pieces or a reason, and what it gives stays within the
// 32-bit address space and within the file's own size (no header can make it copy more).
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/elf_input.h"

using tarvex::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = tarvex::fuzz::ScratchPath("input.elf");
  tarvex::fuzz::WriteScratch(path, {data, size});
  const tarvex::PackInput input = tarvex::ReadElfInput(path);
  std::remove(path.c_str());
  std::uint64_t total = 0;
  for (const tarvex::AddressedBytes& piece : input.pieces) {
    Require(input.ok());
    Require(!piece.bytes.empty());
    Require(piece.address + std::uint64_t{piece.bytes.size()} <= tarvex::ADDRESS_SPACE);
    total += piece.bytes.size();
  }
  Require(total <= size);
  return 0;
}
