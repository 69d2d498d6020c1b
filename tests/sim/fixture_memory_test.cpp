#include "sim/fixture_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/image_loader.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;

struct WriteCase {
  std::string name;
  std::vector<std::pair<std::uint32_t, Bytes>> writes;
  std::vector<std::pair<std::uint32_t, Bytes>> expected;  // the ranges afterwards
};

void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.name;
}

class FixtureMemoryWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(FixtureMemoryWriteTest, RangesStayDisjointAndLaterWritesWin) {
  FixtureMemory memory;
  for (const auto& [address, bytes] : GetParam().writes) {
    ASSERT_TRUE(memory.Write(address, bytes));
  }
  std::vector<std::pair<std::uint32_t, Bytes>> ranges;
  for (const auto& [address, bytes] : memory.Ranges()) {
    ranges.emplace_back(static_cast<std::uint32_t>(address), bytes);
  }
  EXPECT_EQ(ranges, GetParam().expected);
  std::uint64_t total = 0;
  for (const auto& range : GetParam().expected) {
    total += range.second.size();
  }
  EXPECT_EQ(memory.TotalBytes(), total);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FixtureMemoryWriteTest,
    testing::ValuesIn(std::vector<WriteCase>{
        {"Appended", {{10, {1, 2}}, {12, {3}}}, {{10, {1, 2, 3}}}},
        {"Prepended", {{12, {3}}, {10, {1, 2}}}, {{10, {1, 2, 3}}}},
        {"Apart", {{10, {1}}, {12, {3}}}, {{10, {1}}, {12, {3}}}},
        {"FillsTheHole", {{10, {1}}, {12, {3}}, {11, {2}}}, {{10, {1, 2, 3}}}},
        {"OverlapsTheEnd", {{10, {1, 2, 3}}, {12, {9, 9}}}, {{10, {1, 2, 9, 9}}}},
        {"InsideOne", {{10, {1, 2, 3, 4}}, {11, {7, 8}}}, {{10, {1, 7, 8, 4}}}},
        {"CoversSeveral",
         {{10, {1}}, {13, {2}}, {16, {3}}, {9, {5, 5, 5, 5, 5, 5, 5}}},
         {{9, {5, 5, 5, 5, 5, 5, 5, 3}}}},
        {"Empty", {{10, {}}}, {}},
        {"TopOfTheAddressSpace", {{0xFFFFFFFE, {1, 2}}}, {{0xFFFFFFFE, {1, 2}}}},
    }),
    [](const auto& param) { return param.param.name; });

TEST(FixtureMemoryTest, WritePastTheTopOfTheAddressSpaceIsRefused) {
  FixtureMemory memory;
  EXPECT_FALSE(memory.Write(0xFFFFFFFF, Bytes{1, 2}));
  EXPECT_TRUE(memory.Empty());
}

TEST(FixtureMemoryTest, FirstDifferenceNamesTheAddress) {
  FixtureMemory a;
  FixtureMemory b;
  a.Write(0x100, Bytes{1, 2, 3});
  b.Write(0x100, Bytes{1, 2, 4});
  EXPECT_EQ(FirstDifference(a, b), "byte at 0x00000102 is 0x03, expected 0x04");
  b.Write(0x102, Bytes{3});
  EXPECT_EQ(FirstDifference(a, b), "");
  b.Write(0x200, Bytes{9});
  EXPECT_EQ(FirstDifference(a, b), "range 0x00000200 (1 bytes) was not received");
  EXPECT_EQ(FirstDifference(b, a),
            "received range 0x00000200 (1 bytes) that the image does not hold");
  a.Write(0x103, Bytes{0});
  EXPECT_EQ(FirstDifference(a, b),
            "received range 0x00000100 (4 bytes), expected 0x00000100 (3 bytes)");
}

TEST(FixtureMemoryTest, ImageMemoryFollowsTheSegmentTable) {
  test::TempDir dir;
  // The second segment overwrites the end of the first, as it would in the fixture.
  const test::ImagePlan plan(test::Model("TEST MODEL"),
                             {{0x1000, Bytes(8, 0x11)}, {0x1004, Bytes(8, 0x22)}, {0x9000, {}}});
  const ImageLoad load = LoadImage(test::WriteImage(dir.File("a.zfr"), plan).string());
  ASSERT_TRUE(load.ok()) << load.rejection.message;
  const ExpectedMemory expected = MemoryOfImage(*load.image);
  ASSERT_TRUE(expected.memory) << expected.error;
  FixtureMemory want;
  want.Write(0x1000, Bytes{0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22});
  EXPECT_EQ(*expected.memory, want);

  FirmwareImage gone = *load.image;
  gone.path = dir.File("missing.zfr").string();
  EXPECT_FALSE(MemoryOfImage(gone).memory);
}

}  // namespace
}  // namespace tarvex
