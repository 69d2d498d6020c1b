#include "protocol/packet_crc.h"

#include <array>
#include <cstddef>

namespace tarvex {

namespace {

constexpr std::uint16_t MODBUS_POLY_REFLECTED = 0xA001;
constexpr std::uint16_t MODBUS_INIT = 0xFFFF;
// Sixteen bytes per step: their table look-ups are independent of each other, where the byte at
// a time form waits for each look-up before the next.
constexpr std::size_t SLICES = 16;
using ByteTable = std::array<std::uint16_t, 256>;
using SliceTables = std::array<ByteTable, SLICES>;

// Table 0: the register after shifting a byte value through it bit by bit; table k advances a
// byte's contribution by k more bytes.
constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  for (unsigned n = 0; n < 256; ++n) {
    auto value = static_cast<std::uint16_t>(n);
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? static_cast<std::uint16_t>((value >> 1) ^ MODBUS_POLY_REFLECTED)
                           : static_cast<std::uint16_t>(value >> 1);
    }
    t[0][n] = value;
  }
  for (std::size_t k = 1; k < SLICES; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = static_cast<std::uint16_t>((t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu]);
    }
  }
  return t;
}

constexpr SliceTables TABLES = MakeSliceTables();

constexpr std::uint16_t ByteStep(std::uint16_t crc, std::uint8_t byte) {
  return static_cast<std::uint16_t>((crc >> 8) ^ TABLES[0][(crc ^ byte) & 0xFFu]);
}

std::uint16_t SliceStep(std::uint16_t crc, const std::uint8_t* bytes) {
  auto value = static_cast<std::uint16_t>(TABLES[SLICES - 1][(bytes[0] ^ crc) & 0xFFu] ^
                                          TABLES[SLICES - 2][(bytes[1] ^ (crc >> 8)) & 0xFFu]);
  for (std::size_t k = 2; k < SLICES; ++k) {
    value = static_cast<std::uint16_t>(value ^ TABLES[SLICES - 1 - k][bytes[k]]);
  }
  return value;
}

}  // namespace

std::uint16_t PacketCrc16(const std::uint8_t* bytes, std::uint32_t length) {
  std::uint16_t crc = MODBUS_INIT;
  for (; length >= SLICES; bytes += SLICES, length -= SLICES) {
    crc = SliceStep(crc, bytes);
  }
  for (; length > 0; ++bytes, --length) {
    crc = ByteStep(crc, *bytes);
  }
  return crc;
}

}  // namespace tarvex
