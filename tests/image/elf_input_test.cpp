#include "image/elf_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;

constexpr std::uint32_t PT_LOAD_TYPE = 1;
constexpr std::uint32_t PT_NOTE_TYPE = 4;
constexpr std::size_t ELF32_HEADER_SIZE = 52;
constexpr std::size_t ELF32_PHDR_SIZE = 32;

struct ProgramHeader {
  std::uint32_t type;
  std::uint32_t vaddr;
  std::uint32_t paddr;
  Bytes data;
  std::uint32_t memsz;
};

void Put(Bytes& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

// A 32-bit little-endian executable as a linker for a microcontroller writes one: ELF header,
// program headers, then each segment's bytes. `cutTo` shortens the file.
Bytes Elf32(const std::vector<ProgramHeader>& headers, std::size_t cutTo = SIZE_MAX) {
  Bytes out = {0x7F, 'E', 'L', 'F', 1, 1, 1};
  out.resize(16, 0);
  Put(out, 2, 2);   // e_type: executable
  Put(out, 40, 2);  // e_machine: ARM
  Put(out, 1, 4);   // e_version
  Put(out, 0, 4);   // e_entry
  Put(out, ELF32_HEADER_SIZE, 4);
  Put(out, 0, 4);  // e_shoff: no section headers
  Put(out, 0, 4);  // e_flags
  Put(out, ELF32_HEADER_SIZE, 2);
  Put(out, ELF32_PHDR_SIZE, 2);
  Put(out, headers.size(), 2);
  Put(out, 40, 2);  // e_shentsize
  Put(out, 0, 4);   // e_shnum, e_shstrndx
  std::size_t offset = ELF32_HEADER_SIZE + ELF32_PHDR_SIZE * headers.size();
  for (const ProgramHeader& h : headers) {
    for (const std::uint64_t field :
         {std::uint64_t{h.type}, std::uint64_t{offset}, std::uint64_t{h.vaddr},
          std::uint64_t{h.paddr}, std::uint64_t{h.data.size()}, std::uint64_t{h.memsz},
          std::uint64_t{5}, std::uint64_t{4}}) {
      Put(out, field, 4);
    }
    offset += h.data.size();
  }
  for (const ProgramHeader& h : headers) {
    out.insert(out.end(), h.data.begin(), h.data.end());
  }
  out.resize(std::min(out.size(), cutTo));
  return out;
}

TEST(ElfInput, LoadableSegmentsAtTheirPhysicalAddresses) {
  const Bytes text = test::PseudoRandomBytes(100, 1);
  const Bytes data = test::PseudoRandomBytes(8, 2);
  // .data runs from RAM but is stored in flash after .text; .bss has no bytes in the file.
  const Bytes elf = Elf32({{PT_LOAD_TYPE, 0x08000000, 0x08000000, text, 100},
                           {PT_NOTE_TYPE, 0, 0, Bytes(12, 7), 12},
                           {PT_LOAD_TYPE, 0x20000000, 0x08000064, data, 16},
                           {PT_LOAD_TYPE, 0x20000010, 0x20000010, {}, 64}});
  test::TempDir dir;
  test::WriteFileBytes(dir.File("app.elf"), elf);
  const PackInput input = ReadPackInput(dir.File("app.elf").string());
  ASSERT_TRUE(input.ok()) << input.error;
  EXPECT_EQ(input.pieces,
            (std::vector<AddressedBytes>{{0x08000000, text, ""}, {0x08000064, data, ""}}));
}

TEST(ElfInput, SegmentOutsideTheFileIsRefused) {
  const Bytes elf = Elf32({{PT_LOAD_TYPE, 0x100, 0x100, Bytes(64, 1), 64}}, 100);
  test::TempDir dir;
  test::WriteFileBytes(dir.File("cut.elf"), elf);
  const PackInput input = ReadPackInput(dir.File("cut.elf").string());
  EXPECT_NE(input.error.find("cut.elf segment 0: its data lie outside the file"), std::string::npos)
      << input.error;
}

}  // namespace
}  // namespace tarvex
