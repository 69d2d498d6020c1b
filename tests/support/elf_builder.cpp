#include "tests/support/elf_builder.h"

#include <algorithm>

namespace tarvex::test {

using Bytes = std::vector<std::uint8_t>;

namespace {

void Put(Bytes& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

}  // namespace

Bytes Elf(const std::vector<ProgramHeader>& headers, bool wide, std::size_t cutTo) {
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

}  // namespace tarvex::test
