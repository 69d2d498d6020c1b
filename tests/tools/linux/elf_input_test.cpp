#include "tools/elf_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/elf_builder.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;
using test::Elf;
using test::ProgramHeader;
using test::PT_LOAD_TYPE;
using test::PT_NOTE_TYPE;

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
