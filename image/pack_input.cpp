#include "image/pack_input.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "image/elf_input.h"
#include "image/intel_hex.h"
#include "image/utf8_path.h"

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

bool EndsWith(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) {
    return false;
  }
  const std::string_view tail = text.substr(text.size() - end.size());
  return std::equal(tail.begin(), tail.end(), end.begin(),
                    [](char a, char b) { return (a | 0x20) == (b | 0x20); });
}

bool StartsWithElfMagic(const std::string& name) {
  std::ifstream in(PathFromUtf8(name), std::ios::binary);
  std::array<char, ELF_MAGIC.size()> start{};
  in.read(start.data(), start.size());
  return in && std::equal(start.begin(), start.end(), ELF_MAGIC.begin(),
                          [](char c, std::uint8_t m) { return static_cast<std::uint8_t>(c) == m; });
}

PackInput ReadRawInput(const std::string& name, std::uint32_t address) {
  std::ifstream in(PathFromUtf8(name), std::ios::binary);
  if (!in) {
    return Refuse(CannotRead(name), false);
  }
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) {
    return Refuse(CannotRead(name), false);
  }
  PackInput input;
  input.pieces.push_back({address, std::move(bytes), name});
  return input;
}

PackInput ReadHexInput(const std::string& name) {
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
      return ReadRawInput(argument.substr(0, at), *address);
    }
  }
  if (EndsWith(argument, ".hex") || EndsWith(argument, ".ihex")) {
    return ReadHexInput(argument);
  }
  if (StartsWithElfMagic(argument)) {
    return ReadElfInput(argument);
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
