#include "image/image_format.h"

#include <gtest/gtest.h>

#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

struct Le32Case {
  std::array<std::uint8_t, 4> bytes;
  std::uint32_t value;
};

class Le32 : public testing::TestWithParam<Le32Case> {};

TEST_P(Le32, DecodesAndEncodesLeastSignificantByteFirst) {
  const auto& c = GetParam();
  EXPECT_EQ(ReadLe32(c.bytes.data()), c.value);
  std::array<std::uint8_t, 4> written{};
  WriteLe32(written.data(), c.value);
  EXPECT_EQ(written, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Values, Le32,
                         testing::Values(Le32Case{{0x00, 0x04, 0x00, 0x00}, 1024},
                                         Le32Case{{0x01, 0x00, 0x00, 0x00}, 1},
                                         Le32Case{{0x78, 0x56, 0x34, 0x12}, 0x12345678},
                                         Le32Case{{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF}));

ImageHeader HeaderOf(const test::Bytes& image) {
  ImageHeader header{};
  std::copy_n(image.begin(), std::min(image.size(), header.size()), header.begin());
  return header;
}

TEST(ImageHeader, FieldsDecodeFromTheirOffsets) {
  test::ImagePlan plan{test::Model("VUN D7 DEMO"),
                       {{0x00010000, test::Bytes(1500, 1)}, {0xDEADBEEF, test::Bytes(10, 2)}}};
  plan.imageCrc = 0xCAFEF00D;
  plan.bytes = {{8, 0x99}};  // reserved word: decoded by nobody
  const ImageHeader header = HeaderOf(test::BuildImage(plan));

  EXPECT_EQ(PayloadLength(header), 256 + 1500 + 10 - 32u);
  EXPECT_EQ(ImageCrcField(header), 0xCAFEF00Du);
  EXPECT_EQ(SegmentCount(header), 2u);
  EXPECT_EQ(ModelNameOf(header), test::Model("VUN D7 DEMO"));
  EXPECT_EQ(SegmentAt(header, 0), (SegmentEntry{256, 0x00010000, 1500}));
  EXPECT_EQ(SegmentAt(header, 1), (SegmentEntry{256 + 1500, 0xDEADBEEF, 10}));
}

TEST(ImageHeader, FourteenRowsFillTheHeaderExactly) {
  std::vector<test::SegmentPlan> segments;
  for (std::uint32_t i = 0; i < SEGMENT_ROWS_MAX; ++i) {
    segments.emplace_back(0x1000 * i, test::Bytes(i + 1, 0));
  }
  const ImageHeader header = HeaderOf(test::BuildImage({test::Model("X"), segments}));
  EXPECT_EQ(PREAMBLE_SIZE + SEGMENT_ROW_SIZE * SEGMENT_ROWS_MAX, IMAGE_HEADER_SIZE);
  const SegmentEntry last = SegmentAt(header, SEGMENT_ROWS_MAX - 1);  // bytes 240..255
  EXPECT_EQ(last.targetAddress, 0x1000 * 13u);
  EXPECT_EQ(last.segmentLength, 14u);
  EXPECT_EQ(ReadLe32(header.data() + 240), last.fileOffset);
}

}  // namespace
}  // namespace tarvex
