#include "protocol/packet_crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvex {
namespace {

struct CrcCase {
  std::vector<std::uint8_t> bytes;
  std::uint16_t expected;
};

std::vector<std::uint8_t> Ascii(std::string_view text) {
  return {text.begin(), text.end()};
}

class PacketCrc16Known : public testing::TestWithParam<CrcCase> {};

TEST_P(PacketCrc16Known, MatchesPublishedValue) {
  const auto& c = GetParam();
  EXPECT_EQ(PacketCrc16(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    CheckValues, PacketCrc16Known,
    testing::Values(CrcCase{{}, 0xFFFF},                  // nothing: the initial value
                    CrcCase{Ascii("123456789"), 0x4B37},  // the standard check value
                    CrcCase{{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},  // a read request
                    CrcCase{{0x11, 0xDE, 0xAD, 0xBE, 0xEF}, 0xE643}));

// The register shifted bit by bit, the way the checksum is defined.
std::uint16_t BitwiseModbus(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                      : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

TEST(PacketCrc16, TableFormEqualsBitwiseDefinitionUpToAFullBlock) {
  for (std::uint32_t length : {1u, 7u, 17u, 255u, 256u, 1030u, 1031u}) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t seed = length * 2654435761u;
    for (auto& b : bytes) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(seed >> 24);
    }
    EXPECT_EQ(PacketCrc16(bytes.data(), length), BitwiseModbus(bytes)) << "length " << length;
  }
}

}  // namespace
}  // namespace tarvex
