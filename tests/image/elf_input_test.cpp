#include "image/elf_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;

constexpr std::uint32_t PT_LOAD_TYPE = 1;
constexpr std::uint32_t PT_NOTE_TYPE = 4;

struct ProgramHeader {
  std::uint32_t type;
  std::uint32_t vaddr;
  std::uint64_t paddr;
  Bytes data;
  std::uint32_t memsz;
  // Where the data lie when they are another header's (then `data` only gives their length).
  std::optional<std::uint64_t> sharedOffset = std::nullopt;
};

void Put(Bytes& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

// A little-endian executable as a linker for a microcontroller writes one: ELF header, program
// headers, then each segment's bytes. `cutTo` shortens the file.
Bytes Elf(const std::vector<ProgramHeader>& headers, bool wide = false,
          std::size_t cutTo = SIZE_MAX) {
  const int word = wide ? 8 : 4;                         // an address or offset
  const std::size_t headerSize = wide ? 64 : 52;         // e_ehsize
  const std::size_t programHeaderSize = wide ? 56 : 32;  // e_phentsize
  Bytes out = {0x7F, 'E', 'L', 'F', static_cast<std::uint8_t>(wide ? 2 : 1), 1, 1};
  out.resize(16, 0);
  Put(out, 2, 2);                // e_type: executable
  Put(out, wide ? 183 : 40, 2);  // e_machine: AArch64 or ARM
  Put(out, 1, 4);                // e_version
  Put(out, 0, word);             // e_entry
  Put(out, headerSize, word);    // e_phoff
  Put(out, 0, word);             // e_shoff: no section headers
  Put(out, 0, 4);                // e_flags
  Put(out, headerSize, 2);
  Put(out, programHeaderSize, 2);
  Put(out, headers.size(), 2);
  Put(out, wide ? 64 : 40, 2);  // e_shentsize
  Put(out, 0, 4);               // e_shnum, e_shstrndx
  std::uint64_t offset = headerSize + programHeaderSize * headers.size();
  for (const ProgramHeader& h : headers) {
    const std::uint64_t at = h.sharedOffset.value_or(offset);
    Put(out, h.type, 4);
    if (wide) {
      Put(out, 5, 4);  // p_flags
    }
    for (const std::uint64_t field : {at, std::uint64_t{h.vaddr}, h.paddr,
                                      std::uint64_t{h.data.size()}, std::uint64_t{h.memsz}}) {
      Put(out, field, word);
    }
    if (!wide) {
      Put(out, 5, 4);  // p_flags
    }
    Put(out, 4, word);  // p_align
    offset += h.sharedOffset ? 0 : h.data.size();
  }
  for (const ProgramHeader& h : headers) {
    if (!h.sharedOffset) {
      out.insert(out.end(), h.data.begin(), h.data.end());
    }
  }
  out.resize(std::min(out.size(), cutTo));
  return out;
}

TEST(ElfInput, LoadableSegmentsAtTheirPhysicalAddresses) {
  const Bytes text = test::PseudoRandomBytes(100, 1);
  const Bytes data = test::PseudoRandomBytes(8, 2);
  // .data runs from RAM but is stored in flash after .text; .bss has no bytes in the file.
  const Bytes elf = Elf({{PT_LOAD_TYPE, 0x08000000, 0x08000000, text, 100},
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

// Thousands of headers over one file range: refused before anything is copied.
std::vector<ProgramHeader> ManyOverOneRange() {
  std::vector<ProgramHeader> headers = {{PT_LOAD_TYPE, 0, 0, Bytes(256, 1), 256}};
  const std::uint64_t first = 52 + 32 * 3000;
  for (std::uint32_t i = 1; i < 3000; ++i) {
    headers.push_back({PT_LOAD_TYPE, 0, 256 * std::uint64_t{i}, Bytes(256), 256, first});
  }
  return headers;
}

struct ElfRefusal {
  std::string label;
  Bytes file;
  std::string error;
};

TEST(ElfInput, HostileHeadersAreRefused) {
  const ElfRefusal cases[] = {
      {"SegmentOutsideTheFile", Elf({{PT_LOAD_TYPE, 0x100, 0x100, Bytes(64, 1), 64}}, false, 100),
       "x.elf segment 0: its data lie outside the file"},
      {"HeadersSharingOneRange", Elf(ManyOverOneRange()), "claim more bytes than the file holds"},
      // p_paddr + p_filesz wraps past 2^64 to 0, and p_paddr cut to 32 bits fits just below the
      // top.
      {"PhysicalAddressWraps", Elf({{PT_LOAD_TYPE, 0, 0xFFFFFFFFFFFFFFF0, Bytes(16, 1), 16}}, true),
       "physical address range 0xFFFFFFFFFFFFFFF0 + 16 bytes passes 0xFFFFFFFF"},
      {"PhysicalAddressAbove32Bits", Elf({{PT_LOAD_TYPE, 0, 0x100000000, Bytes(8, 1), 8}}, true),
       "passes 0xFFFFFFFF"},
  };
  test::TempDir dir;
  for (const ElfRefusal& c : cases) {
    test::WriteFileBytes(dir.File("x.elf"), c.file);
    const PackInput input = ReadPackInput(dir.File("x.elf").string());
    EXPECT_TRUE(input.pieces.empty()) << c.label;
    EXPECT_NE(input.error.find(c.error), std::string::npos) << c.label << ": " << input.error;
  }
}

}  // namespace
}  // namespace tarvex
