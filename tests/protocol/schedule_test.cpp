// The schedule estimate: the real sequencer run against a null line.
#include "protocol/schedule.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "link/line_settings.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

const LineSettings DOWNLOAD_LINE = MakeLineSettings(115200, PARITY_CODE_ODD);

FirmwareImage LoadPlan(const std::filesystem::path& path, const test::ImagePlan& plan) {
  test::WriteImage(path, plan);
  const ImageLoad load = LoadImage(path.string());
  EXPECT_TRUE(load.ok()) << load.rejection.message;
  return load.ok() ? *load.image : FirmwareImage{};
}

// Announce, blank, model, size and start frames, and the end frame, at 115200 8O1.
microseconds CommandFramesWireTime() {
  return WireTime(DOWNLOAD_LINE, 21 + 100 + 19 + 7 + 5 + 3);
}

TEST(EstimateSchedule, NoWakeImageOfNBlocks) {
  test::TempDir dir;
  constexpr std::uint32_t BLOCKS = 5;
  test::ImagePlan plan;
  plan.model = test::Model("TEST MODEL");
  plan.segments = {{0x1000, test::PseudoRandomBytes(BLOCKS * 1024, 3)}};
  const FirmwareImage image = LoadPlan(dir.File("a.zfr"), plan);
  ASSERT_FALSE(image.needsWake);

  const auto estimate = EstimateSchedule(image);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(estimate->dataSteps, BLOCKS + 1);
  // 31140 ms of waits before the first block, 100 ms before each further block and before the
  // end frame, 10100 ms after it.
  const milliseconds waits{31140 + 100 * (BLOCKS - 1) + 100 + 10100};
  const microseconds wire = CommandFramesWireTime() + BLOCKS * WireTime(DOWNLOAD_LINE, 1033);
  EXPECT_EQ(estimate->duration, waits + std::chrono::round<milliseconds>(wire));
}

TEST(EstimateSchedule, WakeUpAddsItsWaitAndFramesAtTheirOwnSettings) {
  test::TempDir dir;
  test::ImagePlan plan;
  plan.model = test::Model("E2 FIXTURE");
  plan.segments = {{0x1000, test::PseudoRandomBytes(10, 3)}, {0x2000, {}}};
  const FirmwareImage image = LoadPlan(dir.File("a.zfr"), plan);
  ASSERT_TRUE(image.needsWake);

  const auto estimate = EstimateSchedule(image);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(estimate->dataSteps, 3u);  // 10 bytes, the empty block, the end
  const milliseconds waits{32140 + 100 + 100 + 10100};
  const microseconds wire = WireTime(MakeLineSettings(100000, PARITY_CODE_EVEN), 1) +
                            WireTime(MakeLineSettings(250000, PARITY_CODE_NONE), 513) +
                            CommandFramesWireTime() + WireTime(DOWNLOAD_LINE, 9 + 10) +
                            WireTime(DOWNLOAD_LINE, 9);
  EXPECT_EQ(estimate->duration, waits + std::chrono::round<milliseconds>(wire));
}

TEST(EstimateSchedule, ThreeSegmentExampleHasSevenDataSteps) {
  test::TempDir dir;
  test::ImagePlan plan;
  plan.model = test::Model("TEST MODEL");
  plan.segments = {{0x1000, test::PseudoRandomBytes(1500, 1)},
                   {0x2000, test::PseudoRandomBytes(10, 2)},
                   {0x3000, test::PseudoRandomBytes(3000, 3)}};
  const auto estimate = EstimateSchedule(LoadPlan(dir.File("a.zfr"), plan));
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(estimate->dataSteps, 7u);
}

TEST(EstimateSchedule, EmptyWhenTheFileIsGone) {
  test::TempDir dir;
  const FirmwareImage image = LoadPlan(dir.File("a.zfr"), test::SimpleImagePlan());
  std::filesystem::remove(dir.File("a.zfr"));
  EXPECT_FALSE(EstimateSchedule(image).has_value());
}

}  // namespace
}  // namespace tarvex
