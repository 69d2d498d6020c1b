#include "image/elf_input.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

struct ElfFile {
  int fd = -1;
  Elf* elf = nullptr;
  ~ElfFile() {
    if (elf != nullptr) {
      elf_end(elf);
    }
    if (fd >= 0) {
      close(fd);
    }
  }
};

PackInput Refuse(std::string error) {
  PackInput input;
  input.error = std::move(error);
  return input;
}

// The segment's bytes, or a reason when the header points outside the file or above 4 GiB.
std::string AddSegment(const GElf_Phdr& header, const char* raw, std::size_t rawSize,
                       const std::string& origin, PackInput& input) {
  if (header.p_offset > rawSize || header.p_filesz > rawSize - header.p_offset) {
    return "its data lie outside the file";
  }
  if (header.p_paddr + header.p_filesz > ADDRESS_SPACE) {
    return fmt::format("its physical address 0x{:X} is beyond 32 bits", header.p_paddr);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw + header.p_offset);
  input.pieces.push_back(
      {static_cast<std::uint32_t>(header.p_paddr), {bytes, bytes + header.p_filesz}, origin});
  return {};
}

}  // namespace

PackInput ReadElfInput(const std::string& name) {
  if (elf_version(EV_CURRENT) == EV_NONE) {
    return Refuse(fmt::format("{}: the ELF library is unusable: {}", name, elf_errmsg(-1)));
  }
  ElfFile file;
  file.fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) {
    return Refuse(fmt::format("cannot read {}: {}", name, std::strerror(errno)));
  }
  file.elf = elf_begin(file.fd, ELF_C_READ, nullptr);
  std::size_t count = 0;
  if (file.elf == nullptr || elf_kind(file.elf) != ELF_K_ELF ||
      elf_getphdrnum(file.elf, &count) != 0) {
    return Refuse(
        fmt::format("{}: not a readable ELF file ({}): rebuild it", name, elf_errmsg(-1)));
  }
  std::size_t rawSize = 0;
  const char* raw = elf_rawfile(file.elf, &rawSize);
  PackInput input;
  for (std::size_t i = 0; i < count; ++i) {
    GElf_Phdr header;
    if (gelf_getphdr(file.elf, static_cast<int>(i), &header) == nullptr) {
      return Refuse(fmt::format("{}: program header {} cannot be read", name, i));
    }
    if (header.p_type != PT_LOAD || header.p_filesz == 0) {
      continue;
    }
    const std::string origin = fmt::format("{} segment {}", name, i);
    if (const std::string problem = AddSegment(header, raw, rawSize, origin, input);
        !problem.empty()) {
      return Refuse(fmt::format("{}: {}", origin, problem));
    }
  }
  return input;
}

}  // namespace tarvex
