#include "tools/image_diff.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::ImagePlan;

// One segment change as (kind, address, differing bytes).
struct Expected {
  SegmentChangeKind kind;
  std::uint32_t address;
  std::uint64_t differing;
  bool operator==(const Expected&) const = default;
};

struct DiffCase {
  std::string label;
  std::function<void(ImagePlan&)> change;  // turns a copy of the first image into the second
  std::vector<std::string> fields;         // header fields that differ, in order
  std::vector<Expected> segments;
};

void PrintTo(const DiffCase& c, std::ostream* os) {
  *os << c.label;
}

class ImagePairs : public testing::TestWithParam<DiffCase> {};

ImagePlan ThreeSegments() {
  return {test::Model("DIFF"),
          {{0x1000, test::PseudoRandomBytes(5000, 1)},
           {0x8000, test::PseudoRandomBytes(10, 2)},
           {0x20000, test::PseudoRandomBytes(300, 3)}}};
}

TEST_P(ImagePairs, DifferAsExpected) {
  test::TempDir dir;
  const ImagePlan first = ThreeSegments();
  ImagePlan second = first;
  GetParam().change(second);
  const ImageLoad a = LoadImage(test::WriteImage(dir.File("a.zfr"), first).string());
  const ImageLoad b = LoadImage(test::WriteImage(dir.File("b.zfr"), second).string());
  ASSERT_TRUE(a.ok() && b.ok());

  const ImageDiff diff = DiffImages(*a.image, *b.image);
  ASSERT_EQ(diff.error, "");
  std::vector<std::string> fields;
  for (const HeaderChange& change : diff.header) {
    fields.push_back(change.field);
  }
  EXPECT_EQ(fields, GetParam().fields);
  std::vector<Expected> segments;
  for (const SegmentChange& change : diff.segments) {
    segments.push_back({change.kind, change.Address(), change.differingBytes});
  }
  EXPECT_EQ(segments, GetParam().segments);
  EXPECT_EQ(diff.Identical(), fields.empty() && segments.empty());
}

using K = SegmentChangeKind;

INSTANTIATE_TEST_SUITE_P(
    Pairs, ImagePairs,
    testing::Values(
        DiffCase{"Identical", [](ImagePlan&) {}, {}, {}},
        // Bytes 4095 and 4096 straddle the comparison's chunk boundary.
        DiffCase{"TwoBytesAcrossAChunk",
                 [](ImagePlan& p) {
                   p.segments[0].data[4095] ^= 1;
                   p.segments[0].data[4096] ^= 0x80;
                 },
                 {"image_crc"},
                 {{K::Changed, 0x1000, 2}}},
        DiffCase{"ModelOnly", [](ImagePlan& p) { p.model = test::Model("DIFF 2"); }, {"model"}, {}},
        // Every byte of the name is sent, and byte 15 = 'S' asks for the wake-up.
        DiffCase{"ModelBytesAfterTheNul", [](ImagePlan& p) { p.model[9] = 'x'; }, {"model"}, {}},
        DiffCase{"ModelByte15DecidesTheWakeUp",
                 [](ImagePlan& p) { p.model[15] = 'S'; },
                 {"model", "needs_wake"},
                 {}},
        DiffCase{"ReservedWordOnly",
                 [](ImagePlan& p) {
                   p.bytes = {{8, 0x5A}};
                 },
                 {"reserved"},
                 {}},
        DiffCase{"SegmentRemoved",
                 [](ImagePlan& p) { p.segments.erase(p.segments.begin() + 1); },
                 {"payload_length", "image_crc", "segment_count"},
                 {{K::Removed, 0x8000, 0}}},
        DiffCase{"SegmentAddedInFront",
                 [](ImagePlan& p) {
                   p.segments.insert(p.segments.begin(), {0x10, test::PseudoRandomBytes(4, 9)});
                 },
                 {"payload_length", "image_crc", "segment_count"},
                 {{K::Added, 0x10, 0}}},
        // Longer by 5 bytes and one shared byte changed: 6 bytes differ.
        DiffCase{"SegmentGrows",
                 [](ImagePlan& p) {
                   auto& data = p.segments[2].data;
                   data[0] ^= 0xFF;
                   data.insert(data.end(), 5, 0);
                 },
                 {"payload_length", "image_crc"},
                 {{K::Changed, 0x20000, 6}}},
        DiffCase{"SameSegmentsOtherOrder",
                 [](ImagePlan& p) { std::swap(p.segments[0], p.segments[2]); },
                 {"image_crc"},
                 {}},
        DiffCase{"Moved",
                 [](ImagePlan& p) { p.segments[1].targetAddress = 0x9000; },
                 {"image_crc"},
                 {{K::Removed, 0x8000, 0}, {K::Added, 0x9000, 0}}}));

}  // namespace
}  // namespace tarvex
