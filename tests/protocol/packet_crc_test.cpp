#include "protocol/packet_crc.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<std::uint8_t> Noise(std::uint32_t length) {
  std::vector<std::uint8_t> bytes(length);
  std::uint32_t seed = length * 2654435761u;
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return bytes;
}

// Noise and zero runs, with lengths and places around the 16-byte slices,
// and one longer than a whole frame.
std::vector<std::vector<std::uint8_t>> Patterns(std::uint32_t length) {
  std::vector<std::uint8_t> zeros(length, 0);
  std::vector<std::uint8_t> blockOfZeros = zeros;  // a BlockFrame header before zero data
  std::copy_n(Noise(7).begin(), std::min<std::uint32_t>(7, length), blockOfZeros.begin());
  std::vector<std::uint8_t> gap = Noise(length);
  std::fill(gap.begin() + length / 3, gap.begin() + 2 * length / 3, 0);
  std::vector<std::uint8_t> lastByteSet = zeros;
  lastByteSet.back() = 0x80;
  return {Noise(length), zeros, blockOfZeros, gap, lastByteSet};
}

TEST(PacketCrc16, EqualsTheBitwiseDefinitionForNoiseAndZeroRuns) {
  for (std::uint32_t length : {1u, 7u, 15u, 16u, 17u, 33u, 255u, 256u, 1031u, 1033u, 5000u}) {
    for (const std::vector<std::uint8_t>& bytes : Patterns(length)) {
      EXPECT_EQ(PacketCrc16(bytes.data(), length), BitwiseModbus(bytes)) << "length " << length;
    }
  }
}

}  // namespace
}  // namespace tarvex
