// Writes ELF executables for tests and fuzzing seeds: program headers and their bytes, nothing
// else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvex::test {

constexpr std::uint32_t PT_LOAD_TYPE = 1;
constexpr std::uint32_t PT_NOTE_TYPE = 4;

struct ProgramHeader {
  std::uint32_t type;
  std::uint32_t vaddr;
  std::uint64_t paddr;
  std::vector<std::uint8_t> data;
  std::uint32_t memsz;
  // Where the data lie when they are another header's (then `data` only gives their length).
  std::optional<std::uint64_t> sharedOffset = std::nullopt;
};

// A little-endian executable as a linker for a microcontroller writes one: ELF header, program
// headers, then each segment's bytes; 64-bit when `wide`. `cutTo` shortens the file.
std::vector<std::uint8_t> Elf(const std::vector<ProgramHeader>& headers, bool wide = false,
                              std::size_t cutTo = SIZE_MAX);

}  // namespace tarvex::test
