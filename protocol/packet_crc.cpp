#include "protocol/packet_crc.h"

#include <array>

namespace tarvex {

namespace {

constexpr std::uint16_t MODBUS_POLY_REFLECTED = 0xA001;
constexpr std::uint16_t MODBUS_INIT = 0xFFFF;

// One entry per byte value: the register after shifting that byte through it bit by bit.
constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned n = 0; n < table.size(); ++n) {
    auto value = static_cast<std::uint16_t>(n);
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? static_cast<std::uint16_t>((value >> 1) ^ MODBUS_POLY_REFLECTED)
                           : static_cast<std::uint16_t>(value >> 1);
    }
    table[n] = value;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> CRC16_TABLE = MakeTable();

}  // namespace

std::uint16_t PacketCrc16(const std::uint8_t* bytes, std::uint32_t length) {
  std::uint16_t crc = MODBUS_INIT;
  for (std::uint32_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ CRC16_TABLE[(crc ^ bytes[i]) & 0xFFu]);
  }
  return crc;
}

}  // namespace tarvex
