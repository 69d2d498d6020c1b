#include "image/image_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/image_crc.h"
#include "tests/support/broken_images.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace test {
// Found by argument-dependent lookup: a case is named by its label.
void PrintTo(const BrokenImage& c, std::ostream* os) {
  *os << c.label;
}
}  // namespace test

namespace {

using test::Bytes;
using test::ImagePlan;

class LoaderTest : public testing::Test {
 protected:
  std::string Write(const ImagePlan& plan) {
    return test::WriteImage(dir_.File("image-" + std::to_string(++files_) + ".zfr"), plan).string();
  }
  ImageLoad Load(const ImagePlan& plan) { return LoadImage(Write(plan)); }

  test::TempDir dir_;
  int files_ = 0;
};

TEST_F(LoaderTest, GoodImageYieldsWhatADownloadNeeds) {
  const ImagePlan plan = test::SimpleImagePlan();
  const Bytes bytes = test::BuildImage(plan);
  const std::string path = Write(plan);

  const ImageLoad load = LoadImage(path);
  ASSERT_TRUE(load.ok()) << load.rejection.message;
  EXPECT_EQ(load.rejection.reason, ImageError::None);
  const FirmwareImage& image = *load.image;
  EXPECT_EQ(image.path, path);
  EXPECT_TRUE(std::equal(image.header.begin(), image.header.end(), bytes.begin()));
  EXPECT_EQ(image.modelName, test::Model("TEST MODEL"));
  EXPECT_EQ(image.modelText, "TEST MODEL");
  EXPECT_FALSE(image.needsWake);
  EXPECT_EQ(image.fileSize, bytes.size());

  const ImageLoad fromMemory = LoadImageFromBytes(bytes);
  ASSERT_TRUE(fromMemory.ok()) << fromMemory.rejection.message;
  EXPECT_EQ(fromMemory.image->path, "");
  EXPECT_EQ(fromMemory.image->header, image.header);
  EXPECT_EQ(fromMemory.image->modelText, image.modelText);
  EXPECT_EQ(fromMemory.image->fileSize, image.fileSize);
}

TEST_F(LoaderTest, WakeFlagFollowsTheModelName) {
  ImagePlan plan = test::SimpleImagePlan();
  plan.model = test::Model("VUN D7");
  EXPECT_TRUE(Load(plan).image->needsWake);
  plan.model = test::Model("VUN D9");
  EXPECT_FALSE(Load(plan).image->needsWake);
  plan.model[15] = 'S';
  EXPECT_TRUE(Load(plan).image->needsWake);
}

TEST_F(LoaderTest, HeaderOfAFileShorterThan256BytesIsZeroFilled) {
  ImagePlan plan{test::Model("TINY"), {{0x100, Bytes(20, 0xAB)}}};
  plan.dataStart = 48;  // data right after the single row: a 68-byte file
  const Bytes bytes = test::BuildImage(plan);
  ASSERT_EQ(bytes.size(), 68u);

  const ImageLoad load = Load(plan);
  ASSERT_TRUE(load.ok()) << load.rejection.message;
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), load.image->header.begin()));
  EXPECT_TRUE(std::all_of(load.image->header.begin() + 68, load.image->header.end(),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(LoadImageFromBytes(bytes).image->header, load.image->header);
}

TEST_F(LoaderTest, TrailingBytesAndFourteenSegmentsAreAccepted) {
  std::vector<test::SegmentPlan> segments;
  for (std::uint32_t i = 0; i < SEGMENT_ROWS_MAX; ++i) {
    segments.emplace_back(i, Bytes(3, static_cast<std::uint8_t>(i)));
  }
  ImagePlan plan{test::Model("X"), segments};
  plan.trailing = Bytes(100, 0x5A);
  EXPECT_TRUE(Load(plan).ok());
}

// Each fault has its own reason, and the sentence carries what a person needs to see; bytes in
// memory get the same verdict as the file.
class LoaderRejects : public LoaderTest, public testing::WithParamInterface<test::BrokenImage> {};

TEST_P(LoaderRejects, WithItsOwnReasonFromAFileOrFromMemory) {
  const test::BrokenImage& broken = GetParam();
  const ImageLoad fromFile = Load(broken.plan);
  const ImageLoad fromMemory = LoadImageFromBytes(test::BuildImage(broken.plan));
  for (const ImageLoad* load : {&fromFile, &fromMemory}) {
    EXPECT_FALSE(load->ok());
    EXPECT_EQ(load->rejection.reason, broken.reason);
    EXPECT_NE(load->rejection.message.find(broken.messageHas), std::string::npos)
        << load->rejection.message;
  }
  EXPECT_EQ(fromMemory.rejection.message, fromFile.rejection.message);
}

INSTANTIATE_TEST_SUITE_P(Faults, LoaderRejects, testing::ValuesIn(test::BrokenImages()),
                         [](const testing::TestParamInfo<test::BrokenImage>& p) {
                           return p.param.label;
                         });

TEST_F(LoaderTest, SegmentEndingExactlyAtTheEndOfTheFileIsInside) {
  ImagePlan plan = test::SimpleImagePlan();
  plan.segments[1].fileOffset = 1766;
  plan.segments[1].segmentLength = 0;
  EXPECT_TRUE(Load(plan).ok());
}

TEST_F(LoaderTest, MissingFileCannotBeOpened) {
  const ImageLoad load = LoadImage(dir_.File("absent.zfr").string());
  EXPECT_EQ(load.rejection.reason, ImageError::CannotOpen);
  EXPECT_NE(load.rejection.message.find("No such file or directory"), std::string::npos);
}

TEST_F(LoaderTest, DirectoryCannotBeOpened) {
  EXPECT_EQ(LoadImage(dir_.path().string()).rejection.reason, ImageError::CannotOpen);
}

// The check covers the payload only: every payload byte matters, bytes 8 to 31 do not.
TEST_F(LoaderTest, CheckCoversEveryPayloadByteAndNothingBefore) {
  ImagePlan plan{test::Model("M"), {{0, test::PseudoRandomBytes(16, 4)}}};
  plan.dataStart = 48;  // payload: bytes 32..63
  const Bytes good = test::BuildImage(plan);
  const std::string path = dir_.File("flip.zfr").string();
  const auto crcAfterFlipping = [&](std::size_t offset) {
    Bytes bytes = good;
    bytes[offset] ^= 0x01;
    test::WriteFileBytes(path, bytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const auto crc = ImageCrc32(file, ReadLe32(bytes.data()));
    std::fclose(file);
    return crc;
  };
  const std::uint32_t stored = ReadLe32(good.data() + 4);
  for (std::size_t offset = 8; offset < 32; ++offset) {
    EXPECT_EQ(crcAfterFlipping(offset), stored) << "offset " << offset;
  }
  for (std::size_t offset = 32; offset < good.size(); ++offset) {
    EXPECT_NE(crcAfterFlipping(offset), stored) << "offset " << offset;
  }
}

}  // namespace
}  // namespace tarvex
