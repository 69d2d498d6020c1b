// Which rows send bytes that the image's CRC does not cover.
#include "image/unchecked_rows.h"

#include <gtest/gtest.h>

#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

struct RowCase {
  const char* name;
  std::uint32_t fileOffset;
  std::uint32_t length;
  bool unchecked;
};

class Rows : public testing::TestWithParam<RowCase> {};

TEST_P(Rows, AreUncheckedWhenAnyByteLiesOutsideThePayload) {
  const RowCase& c = GetParam();
  ImageHeader header{};
  SetPayloadLength(header, 1000);  // bytes 32..1031 are checked
  SetSegmentCount(header, 2);
  SetSegmentAt(header, 0, SegmentEntry{300, 0x1000, 10});
  SetSegmentAt(header, 1, SegmentEntry{c.fileOffset, 0x2000, c.length});

  const std::vector<std::uint32_t> expected =
      c.unchecked ? std::vector<std::uint32_t>{1} : std::vector<std::uint32_t>{};
  EXPECT_EQ(UncheckedRows(header), expected);
  EXPECT_EQ(UncheckedRowsWarning(header).empty(), !c.unchecked);
}

INSTANTIATE_TEST_SUITE_P(Cases, Rows,
                         testing::Values(RowCase{"AllOfThePayload", 32, 1000, false},
                                         RowCase{"Empty", 0, 0, false},
                                         RowCase{"InThePreamble", 0, 16, true},
                                         RowCase{"StartsInThePreamble", 31, 10, true},
                                         RowCase{"EndsPastThePayload", 1000, 33, true},
                                         RowCase{"WhollyPastThePayload", 4000, 10, true}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tarvex
