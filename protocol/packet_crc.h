// CRC-16/MODBUS that closes the command frames, appended low byte first.
#pragma once

#include <cstdint>

namespace tarvex {

std::uint16_t PacketCrc16(const std::uint8_t* bytes, std::uint32_t length);

}  // namespace tarvex
