#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/image_loader.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"
#include "tools/address_runs.h"
#include "tools/image_writer.h"
#include "tools/intel_hex.h"
#include "tools/segment_export.h"

namespace tarvex {
namespace {

using test::Bytes;

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path Pack(const std::filesystem::path& path, std::string_view model,
                           const std::vector<AddressedBytes>& runs) {
  const ImageLayout layout = LayOutImage(ModelNameFromText(model), runs);
  EXPECT_TRUE(layout.ok()) << layout.error;
  EXPECT_EQ(WriteImageFile(path, layout, runs), "");
  return path;
}

// The test builder lays images out on its own; the same segments must give the same bytes.
TEST(ImageWriter, WritesWhatTheTestBuilderWrites) {
  const test::ImagePlan plan = test::SimpleImagePlan();
  std::vector<AddressedBytes> runs;
  for (const test::SegmentPlan& segment : plan.segments) {
    runs.push_back({segment.targetAddress, segment.data, ""});
  }
  test::TempDir dir;
  EXPECT_EQ(ReadAll(Pack(dir.File("a.zfr"), "TEST MODEL", runs)), test::BuildImage(plan));
}

// Pieces at random addresses, some touching, none overlapping; fourteen runs at most.
std::vector<AddressedBytes> RandomPieces(std::mt19937& random) {
  std::vector<AddressedBytes> pieces;
  std::uint64_t address = random() % 0x100000;
  const std::size_t count = 1 + random() % 16;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = 1 + random() % 3000;
    pieces.push_back({static_cast<std::uint32_t>(address),
                      test::PseudoRandomBytes(length, static_cast<std::uint32_t>(random())), ""});
    address += length + (random() % 3 == 0 ? 0 : random() % 0x20000);
  }
  std::shuffle(pieces.begin(), pieces.end(), random);
  return pieces;
}

class PackRoundTrip : public testing::TestWithParam<std::uint32_t> {};

TEST_P(PackRoundTrip, LoadsAndUnpacksToItsInputs) {
  std::mt19937 random(GetParam());
  const MergedRuns merged = MergeRuns(RandomPieces(random));
  ASSERT_TRUE(merged.ok()) << merged.error;
  if (merged.runs.size() > SEGMENT_ROWS_MAX) {
    EXPECT_FALSE(LayOutImage(ModelName{}, merged.runs).ok());
    return;
  }
  test::TempDir dir;
  const ImageLoad load = LoadImage(Pack(dir.File("p.zfr"), "RT", merged.runs).string());
  ASSERT_TRUE(load.ok()) << load.rejection.message;
  EXPECT_EQ(load.image->modelText, "RT");

  const SegmentFiles files = ExportSegments(*load.image, dir.File("out"));
  ASSERT_TRUE(files.ok()) << files.error;
  ASSERT_EQ(files.segmentFiles.size(), merged.runs.size());
  for (std::size_t i = 0; i < merged.runs.size(); ++i) {
    EXPECT_EQ(files.segmentFiles[i], SegmentFileName(i + 1, merged.runs[i].address));
    EXPECT_EQ(ReadAll(dir.File("out") / files.segmentFiles[i]), merged.runs[i].bytes);
  }
  std::ifstream hex(dir.File("out") / files.hexFile);
  HexRead read = ReadIntelHex(hex, "image.hex");
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(MergeRuns(std::move(read.pieces)).runs, merged.runs);
}

INSTANTIATE_TEST_SUITE_P(Seeds, PackRoundTrip, testing::Range(1u, 25u));

TEST(MergeRuns, JoinsTouchingPiecesAndRefusesOverlaps) {
  const MergedRuns joined = MergeRuns({{0x20, {3}, "c"}, {0x10, {1, 2}, "a"}, {0x12, {9}, "b"}});
  ASSERT_TRUE(joined.ok());
  EXPECT_EQ(joined.runs, (std::vector<AddressedBytes>{{0x10, {1, 2, 9}, ""}, {0x20, {3}, ""}}));

  const MergedRuns overlap = MergeRuns({{0x10, {1, 2}, "a.bin"}, {0x11, {1}, "b.bin"}});
  EXPECT_EQ(overlap.error,
            "inputs overlap: 0x00000010..0x00000011 (a.bin) and 0x00000011..0x00000011 (b.bin)");
  EXPECT_NE(MergeRuns({{0xFFFFFFFF, {1, 2}, "t"}}).error.find("top of the address space"),
            std::string::npos);
}

// Each row's file offset is 32 bits, so the whole file must end by 0xFFFFFFFF: one byte more once
// wrapped the last row's offset.
TEST(LayoutProblem, TheWholeFileFits32BitOffsets) {
  const std::uint64_t most = 0xFFFFFFFF - IMAGE_HEADER_SIZE;
  EXPECT_EQ(LayoutProblem(2, most), "");
  EXPECT_NE(LayoutProblem(2, most + 1).find("more than a 4 GiB image can carry"),
            std::string::npos);
  EXPECT_NE(LayoutProblem(SEGMENT_ROWS_MAX + 1, 16).find("at most 14 segments"), std::string::npos);
  EXPECT_NE(LayoutProblem(0, 0).find("empty"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
