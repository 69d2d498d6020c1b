#include "tools/pack_input.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/utf8_path.h"
#include "tools/elf_input.h"
#include "tools/intel_hex.h"

namespace tarvex {

namespace {

constexpr std::array<std::uint8_t, 4> ELF_MAGIC = {0x7F, 'E', 'L', 'F'};

PackInput Refuse(std::string error, bool badArgument) {
  PackInput input;
  input.error = std::move(error);
  input.badArgument = badArgument;
  return input;
}

std::string CannotRead(std::string_view name) {
  return fmt::format("cannot read {}: {}", name, std::strerror(errno));
}

// ASCII letters compared without case; `lowerEnd` is written in lower case.
bool EndsWith(std::string_view text, std::string_view lowerEnd) {
  if (text.size() < lowerEnd.size()) {
    return false;
  }
  const std::string_view tail = text.substr(text.size() - lowerEnd.size());
  return std::equal(tail.begin(), tail.end(), lowerEnd.begin(), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

bool IsHexName(std::string_view name) {
  return EndsWith(name, ".hex") || EndsWith(name, ".ihex");
}

// What the name is on disk, learned before anything opens it: a pipe or a device would block or
// never end, and a folder has no bytes to read.
struct FileCheck {
  bool exists = false;
  std::uintmax_t size = 0;
  std::string problem;  // empty for a regular file
};

FileCheck CheckFile(const std::string& name) {
  FileCheck check;
  std::error_code error;
  const std::filesystem::path path = PathFromUtf8(name);
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  check.exists = !error && std::filesystem::exists(status);
  if (!check.exists) {
    check.problem = fmt::format("cannot read {}: {}", name, error.message());
  } else if (std::filesystem::is_directory(status)) {
    check.problem = fmt::format("{} is a folder: give a file", name);
  } else if (!std::filesystem::is_regular_file(status)) {
    check.problem = fmt::format("{} is a device or a pipe, not a file: give a file", name);
  } else {
    check.size = std::filesystem::file_size(path, error);
    if (error) {
      check.problem = fmt::format("cannot read {}: {}", name, error.message());
    }
  }
  return check;
}

bool StartsWithElfMagic(const std::string& name) {
  std::ifstream in(PathFromUtf8(name), std::ios::binary);
  std::array<char, ELF_MAGIC.size()> start{};
  in.read(start.data(), start.size());
  return in && std::equal(start.begin(), start.end(), ELF_MAGIC.begin(),
                          [](char c, std::uint8_t m) { return static_cast<std::uint8_t>(c) == m; });
}

// Read whole, so the size is checked first: what cannot fit between `address` and the top of
// the address space is refused before a byte is read.
PackInput ReadRawInput(const std::string& name, std::uint32_t address) {
  const FileCheck check = CheckFile(name);
  if (!check.problem.empty()) {
    return Refuse(check.problem, false);
  }
  if (check.size > ADDRESS_SPACE - address) {
    return Refuse(fmt::format("{} holds {} bytes: placed at 0x{:08X} it passes the top of the "
                              "address space, 0xFFFFFFFF",
                              name, check.size, address),
                  false);
  }
  std::ifstream in(PathFromUtf8(name), std::ios::binary);
  if (!in) {
    return Refuse(CannotRead(name), false);
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(check.size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) {
    return Refuse(CannotRead(name), false);
  }
  if (static_cast<std::uintmax_t>(in.gcount()) != check.size || in.peek() != EOF) {
    return Refuse(fmt::format("{} changed while it was read: pack again", name), false);
  }
  PackInput input;
  input.pieces.push_back({address, std::move(bytes), name});
  return input;
}

PackInput ReadHexInput(const std::string& name) {
  if (const FileCheck check = CheckFile(name); !check.problem.empty()) {
    return Refuse(check.problem, false);
  }
  std::ifstream in(PathFromUtf8(name));
  if (!in) {
    return Refuse(CannotRead(name), false);
  }
  HexRead read = ReadIntelHex(in, name);
  if (!read.ok()) {
    return Refuse(read.error + ": fix or rebuild the HEX file", false);
  }
  PackInput input;
  input.pieces = std::move(read.pieces);
  return input;
}

}  // namespace

std::optional<std::uint32_t> ParseAddress(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

PackInput ReadPackInput(const std::string& argument) {
  // The last '@' splits off the address, so a folder with '@' in its name still works.
  const std::size_t at = argument.rfind('@');
  if (at != std::string::npos) {
    if (const auto address = ParseAddress(std::string_view(argument).substr(at + 1))) {
      const std::string name = argument.substr(0, at);
      if (IsHexName(name)) {
        return Refuse(fmt::format("{}: a HEX file carries its own addresses: give it without "
                                  "@{}",
                                  argument, argument.substr(at + 1)),
                      true);
      }
      return ReadRawInput(name, *address);
    }
  }
  if (IsHexName(argument)) {
    return ReadHexInput(argument);
  }
  const FileCheck check = CheckFile(argument);
  if (check.problem.empty() && StartsWithElfMagic(argument)) {
    return ReadElfInput(argument);
  }
  if (check.exists && !check.problem.empty()) {
    return Refuse(check.problem, false);
  }
  if (at != std::string::npos) {
    return Refuse(fmt::format("{}: \"{}\" is not an address: write it in hex (0x8000) or in "
                              "decimal (32768), at most 0xFFFFFFFF",
                              argument, argument.substr(at + 1)),
                  true);
  }
  return Refuse(fmt::format("{}: give raw bytes as FILE@ADDRESS (e.g. app.bin@0x8000) or an "
                            "Intel HEX file ending in .hex or .ihex, or an ELF file",
                            argument),
                true);
}

}  // namespace tarvex
