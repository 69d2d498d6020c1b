// The test images' own CRC: every image test leans on it, on 32-bit targets as well.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "image/image_crc.h"
#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

struct ClaimCase {
  const char* name;
  std::optional<std::uint32_t> payloadLength;  // stored instead of the true length
  std::size_t crcBytes;                        // bytes after the preamble the CRC covers
};

void PrintTo(const ClaimCase& c, std::ostream* os) {
  *os << c.name;
}

class BuilderCrc : public testing::TestWithParam<ClaimCase> {};

TEST_P(BuilderCrc, CoversTheDeclaredPayloadAsFarAsTheBytesReach) {
  test::ImagePlan plan = test::SimpleImagePlan();
  plan.payloadLength = GetParam().payloadLength;
  const test::Bytes image = test::BuildImage(plan);
  ASSERT_GE(image.size(), PREAMBLE_SIZE + GetParam().crcBytes);
  EXPECT_EQ(ReadLe32(image.data() + 4),
            Crc32Update(0, image.data() + PREAMBLE_SIZE, GetParam().crcBytes));
}

// SimpleImagePlan(): the table and its pad end at 256, then 1500 + 10 bytes of data.
constexpr std::size_t TRUE_PAYLOAD = 256 + 1510 - PREAMBLE_SIZE;

INSTANTIATE_TEST_SUITE_P(
    Claims, BuilderCrc,
    testing::Values(ClaimCase{"True", std::nullopt, TRUE_PAYLOAD}, ClaimCase{"Shorter", 100, 100},
                    ClaimCase{"PastTheEnd", TRUE_PAYLOAD + 1, TRUE_PAYLOAD},
                    // 32 + 4 GiB - 1 wraps a 32-bit size to 31, before the payload.
                    ClaimCase{"Claims4GiB", 0xFFFFFFFF, TRUE_PAYLOAD}),
    [](const testing::TestParamInfo<ClaimCase>& row) { return row.param.name; });

}  // namespace
}  // namespace tarvex
