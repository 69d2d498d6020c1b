// The schedule estimate: the real sequencer run against a null line. It takes zeros for the
// image's bytes, so it must send the very frames a run that reads the file sends.
#include "protocol/schedule.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/image_file.h"
#include "protocol/frames.h"
#include "protocol/line_settings.h"
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

// The break at 100000 8E1 and the wake frame at 250000 8N2.
microseconds WakeFramesWireTime() {
  return WireTime(MakeLineSettings(100000, PARITY_CODE_EVEN), 1) +
         WireTime(MakeLineSettings(250000, PARITY_CODE_NONE), 513);
}

struct SentFrame {
  DownloadState state;
  std::string name;
  std::uint32_t length;
  LineSettings settings;
  bool operator==(const SentFrame&) const = default;
};

TraceSink RecordInto(std::vector<SentFrame>& frames) {
  return [&frames](const TraceEvent& event) {
    frames.push_back({event.state, std::string(event.frame), event.length, event.settings});
  };
}

std::vector<std::uint32_t> BlockDataLengths(const std::vector<SentFrame>& frames) {
  std::vector<std::uint32_t> lengths;
  for (const SentFrame& frame : frames) {
    if (frame.name == "BlockFrame") {
      lengths.push_back(frame.length - BLOCK_FRAME_OVERHEAD);
    }
  }
  return lengths;
}

struct ScheduleCase {
  std::string name;
  std::string model;
  std::vector<std::uint32_t> segmentLengths;
  bool needsWake;
  std::vector<std::uint32_t> blocks;  // data bytes of each BlockFrame, in order
};

// A failing row is named, not dumped as bytes.
void PrintTo(const ScheduleCase& row, std::ostream* out) {
  *out << row.name;
}

class EstimateScheduleCases : public testing::TestWithParam<ScheduleCase> {};

TEST_P(EstimateScheduleCases, EqualsTheRunThatReadsTheFileAndItsHandWorkedDuration) {
  const ScheduleCase& c = GetParam();
  test::TempDir dir;
  test::ImagePlan plan;
  plan.model = test::Model(c.model);
  std::uint32_t address = 0x1000;
  for (std::uint32_t length : c.segmentLengths) {
    plan.segments.emplace_back(address, test::PseudoRandomBytes(length, length));
    address += 0x10000;
  }
  const FirmwareImage image = LoadPlan(dir.File("a.zfr"), plan);
  ASSERT_EQ(image.needsWake, c.needsWake);

  std::vector<SentFrame> estimated;
  std::vector<SentFrame> read;
  const auto estimate = EstimateSchedule(image, RecordInto(estimated));
  const auto fromFile = RunSchedule(image, SnapshotImageSource(), RecordInto(read));
  ASSERT_TRUE(estimate.has_value());
  ASSERT_TRUE(fromFile.has_value());
  EXPECT_EQ(estimated, read);
  EXPECT_EQ(estimate->dataSteps, fromFile->dataSteps);
  EXPECT_EQ(estimate->duration, fromFile->duration);

  EXPECT_EQ(BlockDataLengths(estimated), c.blocks);
  const auto steps = static_cast<std::uint32_t>(c.blocks.size() + 1);
  EXPECT_EQ(estimate->dataSteps, steps);
  // 31140 ms of waits before the first block (1000 more with the wake-up), 100 ms before each
  // further data step, 10100 ms after the end frame.
  const milliseconds waits{(c.needsWake ? 32140 : 31140) + 100 * (steps - 1) + 10100};
  microseconds wire =
      CommandFramesWireTime() + (c.needsWake ? WakeFramesWireTime() : microseconds{0});
  for (std::uint32_t length : c.blocks) {
    wire += WireTime(DOWNLOAD_LINE, BLOCK_FRAME_OVERHEAD + length);
  }
  EXPECT_EQ(estimate->duration, waits + std::chrono::round<milliseconds>(wire));
}

// An empty segment after another one goes out as an empty block; one that comes first is
// passed over in the step that sends the next segment's first block.
INSTANTIATE_TEST_SUITE_P(
    Table, EstimateScheduleCases,
    testing::Values(
        ScheduleCase{
            "FiveFullBlocks", "TEST MODEL", {5 * 1024}, false, {1024, 1024, 1024, 1024, 1024}},
        ScheduleCase{"WakeUpAndAnEmptySegment", "E2 FIXTURE", {10, 0}, true, {10, 0}},
        ScheduleCase{"ThreeSegments",
                     "TEST MODEL",
                     {1500, 10, 3000},
                     false,
                     {1024, 476, 10, 1024, 1024, 952}},
        ScheduleCase{"WakeUpAndThreeSegments",
                     "E2 FIXTURE",
                     {1500, 10, 3000},
                     true,
                     {1024, 476, 10, 1024, 1024, 952}},
        ScheduleCase{
            "EmptySegmentsFirstAndLast", "TEST MODEL", {0, 2048, 0}, false, {1024, 1024, 0}},
        ScheduleCase{"TwoEmptySegmentsBetween", "E2 FIXTURE", {10, 0, 0, 10}, true, {10, 0, 0, 10}},
        ScheduleCase{"OnlyAnEmptySegment", "TEST MODEL", {0}, false, {}}),
    [](const testing::TestParamInfo<ScheduleCase>& row) { return row.param.name; });

TEST(EstimateScheduleFile, TheEstimateNeedsOnlyTheCheckedCopyARunThatReadsNeedsTheFile) {
  test::TempDir dir;
  const FirmwareImage image = LoadPlan(dir.File("a.zfr"), test::SimpleImagePlan());
  const auto before = EstimateSchedule(image);
  std::filesystem::remove(dir.File("a.zfr"));

  const auto after = EstimateSchedule(image);
  ASSERT_TRUE(before.has_value());
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->duration, before->duration);
  EXPECT_FALSE(RunSchedule(image, SnapshotImageSource()).has_value());
}

}  // namespace
}  // namespace tarvex
