#include "tools/elf_input.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <vector>

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

// The reason a loadable segment cannot be taken: its bytes lie outside the file or its range
// passes 32 bits (compared so that no sum can wrap).
std::string SegmentProblem(const GElf_Phdr& header, std::uint64_t fileSize) {
  if (header.p_offset > fileSize || header.p_filesz > fileSize - header.p_offset) {
    return "its data lie outside the file";
  }
  if (header.p_paddr >= ADDRESS_SPACE || header.p_filesz > ADDRESS_SPACE - header.p_paddr) {
    return fmt::format("its physical address range 0x{:X} + {} bytes passes 0xFFFFFFFF",
                       header.p_paddr, header.p_filesz);
  }
  return {};
}

struct Loadable {
  std::size_t index = 0;
  GElf_Phdr header{};
};

// The loadable headers with file bytes, each checked before any byte is copied: headers that all
// point at one file range would otherwise ask for far more memory than the file holds.
std::string LoadableHeaders(const std::string& name, Elf* elf, std::size_t count,
                            std::uint64_t fileSize, std::vector<Loadable>& loadable) {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    GElf_Phdr header;
    if (gelf_getphdr(elf, static_cast<int>(i), &header) == nullptr) {
      return fmt::format("{}: program header {} cannot be read", name, i);
    }
    if (header.p_type != PT_LOAD || header.p_filesz == 0) {
      continue;
    }
    if (const std::string problem = SegmentProblem(header, fileSize); !problem.empty()) {
      return fmt::format("{} segment {}: {}", name, i, problem);
    }
    total += header.p_filesz;
    if (total > fileSize) {
      return fmt::format(
          "{}: its loadable segments claim more bytes than the file holds, so they share bytes "
          "(from segment {} on): rebuild it",
          name, i);
    }
    loadable.push_back({i, header});
  }
  return {};
}

// Only the segments' bytes are read, never the whole file, so its size costs nothing.
bool ReadSegment(int fd, const GElf_Phdr& header, std::vector<std::uint8_t>& bytes) {
  bytes.resize(header.p_filesz);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t got = pread(fd, bytes.data() + done, bytes.size() - done,
                              static_cast<off_t>(header.p_offset + done));
    if (got <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
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
  struct stat status {};
  if (fstat(file.fd, &status) != 0) {
    return Refuse(fmt::format("cannot read {}: {}", name, std::strerror(errno)));
  }
  std::vector<Loadable> loadable;
  if (const std::string problem = LoadableHeaders(
          name, file.elf, count, static_cast<std::uint64_t>(status.st_size), loadable);
      !problem.empty()) {
    return Refuse(problem);
  }
  PackInput input;
  for (const Loadable& segment : loadable) {
    const std::string origin = fmt::format("{} segment {}", name, segment.index);
    std::vector<std::uint8_t> bytes;
    if (!ReadSegment(file.fd, segment.header, bytes)) {
      return Refuse(
          fmt::format("{}: its data cannot be read (the file changed?): pack again", origin));
    }
    input.pieces.push_back(
        {static_cast<std::uint32_t>(segment.header.p_paddr), std::move(bytes), origin});
  }
  return input;
}

}  // namespace tarvex
