// The sequencer driven step by step (no pacing worker) against the fake port: the frames and
// their line settings, the segment walk, status texts and progress, and what happens when the
// port, the file or a write fails.
#include "protocol/sequencer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "protocol/texts.h"
#include "tests/support/fake_port_backend.h"
#include "tests/support/image_builder.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using test::Bytes;
using test::FakePort;
using test::FakeWrite;
using test::ImagePlan;
using test::SegmentPlan;
using test::ViewCall;

const LineSettings DOWNLOAD_LINE = MakeLineSettings(115200, PARITY_CODE_ODD);
const LineSettings START_LINE = MakeLineSettings(100000, PARITY_CODE_EVEN);
const LineSettings WAKE_LINE = MakeLineSettings(250000, PARITY_CODE_NONE);
constexpr std::uint32_t END_STEP = 0xFFFFFFFF;  // in an expected walk: the EndFrame step

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

Bytes BytesOf(const Frame& frame) {
  return Bytes(frame.bytes().begin(), frame.bytes().end());
}

ImagePlan PlanWithSegments(const std::vector<std::uint32_t>& lengths,
                           std::string_view model = "TEST MODEL") {
  ImagePlan plan;
  plan.model = test::Model(model);
  std::uint32_t address = 0x00100000;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    plan.segments.emplace_back(address, test::PseudoRandomBytes(lengths[i], 7 + i));
    address += 0x00010000;
  }
  return plan;
}

class SequencerTest : public testing::Test {
 protected:
  FirmwareImage Load(const ImagePlan& plan) {
    plan_ = plan;
    test::WriteImage(path_, plan);
    const ImageLoad load = LoadImage(path_.string());
    EXPECT_TRUE(load.ok()) << load.rejection.message;
    return load.ok() ? *load.image : FirmwareImage{};
  }

  // As the Download button leaves things: the port open at 100000 baud 8E1.
  void Begin(const FirmwareImage& image) {
    ctx_.ticket = guard_.Open("COM1", PARITY_CODE_EVEN, 100000);
    ASSERT_NE(ctx_.ticket, PortGuard::NO_TICKET);
    data_ = NewDownload("COM1", image);
  }

  StepResult Step() { return StepDownload(ctx_, data_); }

  // Steps until the download is done or a step does not succeed.
  StepResult StepToEnd() {
    for (int i = 0; i < 100000 && data_.state != DL_DONE; ++i) {
      const StepResult result = Step();
      if (result != StepResult::Done) {
        return result;
      }
    }
    return StepResult::Done;
  }

  void StepUntil(DownloadState state) {
    for (int i = 0; i < 1000 && data_.state != state; ++i) {
      ASSERT_EQ(Step(), StepResult::Done);
    }
    ASSERT_EQ(data_.state, state);
  }

  std::vector<FakeWrite> Writes() const { return port_->Writes(); }
  test::ViewCalls Calls() const { return view_.Calls(); }

  test::TempDir dir_;
  std::filesystem::path path_ = dir_.File("image.zfr");
  ImagePlan plan_;
  std::shared_ptr<FakePort> port_ = FakePort::Make();
  SerialLink link_{port_->MakeBackend()};
  PortGuard guard_{link_};
  test::RecordingView view_;
  SnapshotImageSource source_;
  StepContext ctx_{guard_, PortGuard::NO_TICKET, view_, {}, std::chrono::steady_clock::now(),
                   source_};
  DownloadData data_;
};

TEST_F(SequencerTest, ThreeSegmentExampleSendsExactlyTheseFrames) {
  const FirmwareImage image = Load(PlanWithSegments({1500, 10, 3000}));
  Begin(image);
  ASSERT_EQ(StepToEnd(), StepResult::Done);

  const Bytes file = test::BuildImage(plan_);
  auto block = [&](std::size_t segment, std::uint32_t offset, std::uint32_t length) {
    const SegmentEntry row = SegmentAt(image.header, segment);
    const auto first = file.begin() + row.fileOffset + offset;
    return BytesOf(BlockFrame(row.targetAddress + offset, Bytes(first, first + length)));
  };
  const std::vector<Bytes> expected = {
      BytesOf(AnnounceFrame(image.modelName)),
      BytesOf(BlankFrame()),
      BytesOf(ModelFrame(image.modelName)),
      BytesOf(SizeFrame(image.header)),
      BytesOf(StartFrame()),
      block(0, 0, 1024),
      block(0, 1024, 476),
      block(1, 0, 10),
      block(2, 0, 1024),
      block(2, 1024, 1024),
      block(2, 2048, 952),
      BytesOf(EndFrame()),
  };
  const std::vector<FakeWrite> writes = Writes();
  ASSERT_EQ(writes.size(), expected.size());
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].bytes, expected[i]) << "write " << i;
    EXPECT_EQ(writes[i].settings, DOWNLOAD_LINE) << "write " << i;
  }

  EXPECT_EQ(test::Texts(Calls(), ViewCall::Kind::Status),
            (std::vector<std::string>{
                "QORVAL...", "Start...", "Downloading... 1/3", "Downloading... 1/3",
                "Downloading... 1/3", "Downloading... 2/3", "Downloading... 3/3",
                "Downloading... 3/3", "Downloading... 3/3", "Waitting for Reset..."}));
  EXPECT_EQ(test::ProgressPositions(Calls()),
            (std::vector<std::uint32_t>{0, 1024, 1500, 1510, 2534, 3558, 4510}));
  const test::ViewCalls calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       ViewCall::ProgressRange(0, PayloadLength(image.header))),
            1);
  EXPECT_EQ(data_.dataSteps, 7u);
  EXPECT_EQ(data_.totalSent, 4510u);
  EXPECT_EQ(data_.state, DL_DONE);
  // Nothing follows the end frame but the move to DL_DONE.
  EXPECT_EQ(Calls().back(), ViewCall::Status(TEXT_WAIT_RESET));
}

// One data step as the walk should make it: the counter shown, and the block's segment, offset
// and length (END_STEP for the EndFrame step).
struct WalkStep {
  std::string counter;
  std::uint32_t segment = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = END_STEP;
};

struct WalkCase {
  const char* name;
  std::vector<std::uint32_t> lengths;
  std::vector<WalkStep> steps;
};

class SegmentWalk : public SequencerTest, public testing::WithParamInterface<WalkCase> {};

TEST_P(SegmentWalk, SendsTheBlocksInTableOrder) {
  const WalkCase& c = GetParam();
  const FirmwareImage image = Load(PlanWithSegments(c.lengths));
  Begin(image);
  StepUntil(DL_DATA);
  const std::size_t before = Writes().size();
  const std::size_t statusBefore = test::CountOf(Calls(), ViewCall::Kind::Status);
  ASSERT_EQ(StepToEnd(), StepResult::Done);

  const Bytes file = test::BuildImage(plan_);
  const std::vector<FakeWrite> writes = Writes();
  const std::vector<std::string> statuses = test::Texts(Calls(), ViewCall::Kind::Status);
  ASSERT_EQ(writes.size() - before, c.steps.size());
  ASSERT_EQ(data_.dataSteps, c.steps.size());
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const WalkStep& step = c.steps[i];
    EXPECT_EQ(statuses[statusBefore + i], TEXT_DOWNLOADING + step.counter) << "step " << i;
    Bytes frame = BytesOf(EndFrame());
    if (step.length != END_STEP) {
      const SegmentEntry row = SegmentAt(image.header, step.segment);
      const auto first = file.begin() + row.fileOffset + step.offset;
      frame =
          BytesOf(BlockFrame(row.targetAddress + step.offset, Bytes(first, first + step.length)));
    }
    EXPECT_EQ(writes[before + i].bytes, frame) << "step " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Walks, SegmentWalk,
    testing::Values(WalkCase{"EmptyFirstSegmentIsPassedOverWithoutAFrame",
                             {0, 10},
                             {{"1/2", 1, 0, 10}, {"2/2"}}},
                    WalkCase{"EmptyLaterSegmentCostsOneEmptyBlock",
                             {10, 0, 5},
                             {{"1/3", 0, 0, 10}, {"1/3", 1, 0, 0}, {"2/3", 2, 0, 5}, {"3/3"}}},
                    WalkCase{"MultipleOf1024EndsWithAFullBlock",
                             {2048},
                             {{"1/1", 0, 0, 1024}, {"1/1", 0, 1024, 1024}, {"1/1"}}},
                    WalkCase{"FullSegmentMovesOnWithoutAnEmptyBlock",
                             {1024, 1024},
                             {{"1/2", 0, 0, 1024}, {"1/2", 1, 0, 1024}, {"2/2"}}},
                    WalkCase{"SingleEmptySegmentGoesStraightToTheEnd", {0}, {{"1/1"}}}),
    CaseName<WalkCase>);

TEST_F(SequencerTest, WakeUpGoesOutAtItsOwnSettingsBeforeTheAnnounce) {
  Begin(Load(PlanWithSegments({10}, "7K FIXTURE")));
  ASSERT_EQ(data_.state, DL_WAKE_BREAK);
  StepUntil(DL_BLANK);

  const std::vector<FakeWrite> writes = Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].bytes, BytesOf(BreakByte()));
  EXPECT_EQ(writes[0].settings, START_LINE);
  EXPECT_EQ(writes[1].bytes, BytesOf(WakeFrame()));
  EXPECT_EQ(writes[1].settings, WAKE_LINE);
  EXPECT_EQ(writes[2].settings, DOWNLOAD_LINE);
  EXPECT_EQ(test::Texts(Calls(), ViewCall::Kind::Status),
            (std::vector<std::string>{"Start 1...", "Start 2...", "QORVAL..."}));
  const std::vector<test::FakeOpen> opens = port_->Opens();
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[1].settings, WAKE_LINE);
  EXPECT_EQ(opens[2].settings, DOWNLOAD_LINE);
}

TEST_F(SequencerTest, WithoutWakeUpNothingGoesOutBelow115200) {
  Begin(Load(PlanWithSegments({10})));
  ASSERT_EQ(data_.state, DL_ANNOUNCE);
  ASSERT_EQ(StepToEnd(), StepResult::Done);
  for (const FakeWrite& write : Writes()) {
    EXPECT_EQ(write.settings, DOWNLOAD_LINE);
  }
  for (const test::FakeOpen& open : port_->Opens()) {
    EXPECT_NE(open.settings.baud, 250000u);
  }
  EXPECT_EQ(Writes().front().bytes.size(), 21u);  // AnnounceFrame first
}

struct ReopenCase {
  const char* name;
  const char* model;
  std::size_t failingOpen;  // 0 is the Download button's open
  DownloadState failingState;
};

class ReopenFailure : public SequencerTest, public testing::WithParamInterface<ReopenCase> {};

TEST_P(ReopenFailure, WritesNothingAndLeavesThePortClosed) {
  const ReopenCase& c = GetParam();
  port_->FailOpens(c.failingOpen, 1);
  Begin(Load(PlanWithSegments({10}, c.model)));
  StepUntil(c.failingState);
  const std::size_t before = Writes().size();

  EXPECT_EQ(Step(), StepResult::OpenFailed);
  EXPECT_EQ(data_.state, DL_DONE);
  EXPECT_EQ(Writes().size(), before);
  EXPECT_FALSE(port_->IsOpen());
  EXPECT_EQ(link_.running().load(), 0u);
  EXPECT_EQ(port_->WaitersNow(), 0u);  // no watcher
  EXPECT_EQ(guard_.LastError().code, FakePort::BusyError().code);
}

INSTANTIATE_TEST_SUITE_P(States, ReopenFailure,
                         testing::Values(ReopenCase{"WakeFrame", "7K", 1, DL_WAKE_FRAME},
                                         ReopenCase{"AnnounceAfterWake", "7K", 2, DL_ANNOUNCE},
                                         ReopenCase{"Announce", "TEST", 1, DL_ANNOUNCE}),
                         CaseName<ReopenCase>);

TEST_F(SequencerTest, AnnounceRetriesWhileTheFileIsMissing) {
  Begin(Load(PlanWithSegments({10})));
  std::filesystem::rename(path_, dir_.File("away"));

  EXPECT_EQ(Step(), StepResult::Retry);
  EXPECT_EQ(Step(), StepResult::Retry);
  EXPECT_EQ(data_.state, DL_ANNOUNCE);
  EXPECT_TRUE(Writes().empty());
  EXPECT_TRUE(test::Texts(Calls(), ViewCall::Kind::Status).empty());
  EXPECT_TRUE(port_->IsOpen());  // re-opened each time, and open for the next attempt
  EXPECT_EQ(port_->Opens().size(), 3u);

  std::filesystem::rename(dir_.File("away"), path_);
  EXPECT_EQ(Step(), StepResult::Done);
  EXPECT_EQ(data_.state, DL_BLANK);
  EXPECT_EQ(Writes().size(), 1u);
}

TEST_F(SequencerTest, ModelStepRetriesWhileTheFileIsMissing) {
  Begin(Load(PlanWithSegments({10})));
  StepUntil(DL_MODEL);
  std::filesystem::rename(path_, dir_.File("away"));
  const std::size_t before = Writes().size();

  EXPECT_EQ(Step(), StepResult::Retry);
  EXPECT_EQ(data_.state, DL_MODEL);
  EXPECT_EQ(Writes().size(), before);

  std::filesystem::rename(dir_.File("away"), path_);
  EXPECT_EQ(Step(), StepResult::Done);
  EXPECT_EQ(data_.state, DL_SIZE);
}

TEST_F(SequencerTest, DataStepRetriesTheSameBlockWhileTheStateCountsOn) {
  const FirmwareImage image = Load(PlanWithSegments({1500}));
  Begin(image);
  StepUntil(DL_DATA);
  ASSERT_EQ(Step(), StepResult::Done);  // first block
  std::filesystem::rename(path_, dir_.File("away"));
  const std::size_t before = Writes().size();

  EXPECT_EQ(Step(), StepResult::Retry);
  EXPECT_EQ(Step(), StepResult::Retry);
  EXPECT_EQ(Writes().size(), before);
  EXPECT_EQ(data_.state, DL_DATA + 3);
  EXPECT_EQ(data_.segBytes, 1024u);
  EXPECT_EQ(data_.totalSent, 1024u);
  EXPECT_EQ(test::ProgressPositions(Calls()).back(), 1024u);

  std::filesystem::rename(dir_.File("away"), path_);
  EXPECT_EQ(Step(), StepResult::Done);
  const SegmentEntry row = SegmentAt(image.header, 0);
  const Bytes file = test::BuildImage(plan_);
  const auto first = file.begin() + row.fileOffset + 1024;
  EXPECT_EQ(Writes().back().bytes,
            BytesOf(BlockFrame(row.targetAddress + 1024, Bytes(first, first + 476))));
  ASSERT_EQ(StepToEnd(), StepResult::Done);
  EXPECT_EQ(data_.dataSteps, 5u);  // two blocks, two retries, the end
}

TEST_F(SequencerTest, FileChangedSinceOpenIsRefusedBeforeTheAnnounce) {
  Begin(Load(PlanWithSegments({10})));
  test::WriteImage(path_, PlanWithSegments({11}));  // a good image, but another one

  EXPECT_EQ(Step(), StepResult::FileChanged);
  EXPECT_TRUE(Writes().empty());
}

TEST_F(SequencerTest, FileDamagedSinceOpenIsRefusedBeforeTheAnnounce) {
  Begin(Load(PlanWithSegments({10})));
  ImagePlan damaged = plan_;
  damaged.bytes.push_back({260, 0x5A});  // inside the segment data: the CRC no longer matches
  test::WriteImage(path_, damaged);

  EXPECT_EQ(Step(), StepResult::FileChanged);
  EXPECT_TRUE(Writes().empty());
}

TEST_F(SequencerTest, FileReplacedWhileMissingIsRefusedBeforeItsBytesGoOut) {
  Begin(Load(PlanWithSegments({1500})));
  StepUntil(DL_DATA);
  std::filesystem::remove(path_);
  ASSERT_EQ(Step(), StepResult::Retry);
  test::WriteImage(path_, PlanWithSegments({1600}));
  const std::size_t before = Writes().size();

  EXPECT_EQ(Step(), StepResult::FileChanged);
  EXPECT_EQ(Writes().size(), before);
}

// The file changes while the download runs: every frame that goes out is the checked image's,
// and the first step that would send a changed byte ends the download instead.
enum class Change { InPlace, Renamed, Truncated };

struct ChangeCase {
  const char* name;
  Change change;
  DownloadState when;    // the change lands just before this step
  std::uint32_t blocks;  // data blocks already sent by then
};

class ChangedFile : public SequencerTest, public testing::WithParamInterface<ChangeCase> {
 protected:
  // One byte of the last block, so every case still has it ahead.
  void ChangeTheFile(Change change) {
    Bytes file = test::BuildImage(plan_);
    switch (change) {
      case Change::InPlace: {
        std::fstream inPlace(path_, std::ios::in | std::ios::out | std::ios::binary);
        inPlace.seekp(static_cast<std::streamoff>(file.size() - 5));
        inPlace.put(static_cast<char>(file[file.size() - 5] ^ 0xFF));
        break;
      }
      case Change::Renamed:
        file[file.size() - 5] ^= 0xFF;
        test::WriteFileBytes(dir_.File("new.zfr"), file);
        std::filesystem::rename(dir_.File("new.zfr"), path_);
        break;
      case Change::Truncated:
        std::filesystem::resize_file(path_, file.size() - 5);
        break;
    }
  }
};

TEST_P(ChangedFile, EndsTheDownloadBeforeAnyChangedByteGoesOut) {
  const ChangeCase& c = GetParam();
  const FirmwareImage image = Load(PlanWithSegments({1500, 700}));
  Begin(image);
  ASSERT_EQ(StepToEnd(), StepResult::Done);
  const std::vector<FakeWrite> checked = Writes();
  guard_.End(ctx_.ticket, JobOutcome::Completed);

  // The same image again, on a new download with its own copy.
  SnapshotImageSource source;
  StepContext ctx{guard_,
                  guard_.Open("COM1", PARITY_CODE_EVEN, 100000),
                  view_,
                  {},
                  std::chrono::steady_clock::now(),
                  source};
  DownloadData data = NewDownload("COM1", image);
  for (int i = 0; i < 100 && data.state != c.when; ++i) {
    ASSERT_EQ(StepDownload(ctx, data), StepResult::Done);
  }
  for (std::uint32_t i = 0; i < c.blocks; ++i) {
    ASSERT_EQ(StepDownload(ctx, data), StepResult::Done);
  }
  ChangeTheFile(c.change);

  StepResult result = StepResult::Done;
  for (int i = 0; i < 100 && result == StepResult::Done && data.state != DL_DONE; ++i) {
    result = StepDownload(ctx, data);
  }
  EXPECT_EQ(result, StepResult::FileChanged);
  const std::vector<FakeWrite> all = Writes();
  const std::vector<FakeWrite> sent(all.begin() + static_cast<std::ptrdiff_t>(checked.size()),
                                    all.end());
  ASSERT_LT(sent.size(), checked.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].bytes, checked[i].bytes) << "frame " << i;
  }
  // Before the copy is taken the check says what is wrong with the file; after, that it changed.
  const bool copied = c.when != DL_ANNOUNCE;
  EXPECT_EQ(source.Reason().find("changed during the download") != std::string::npos, copied)
      << source.Reason();
}

INSTANTIATE_TEST_SUITE_P(
    Points, ChangedFile,
    testing::Values(ChangeCase{"InPlaceBeforeTheAnnounce", Change::InPlace, DL_ANNOUNCE, 0},
                    ChangeCase{"InPlaceBeforeTheModel", Change::InPlace, DL_MODEL, 0},
                    ChangeCase{"InPlaceAfterTheFirstBlock", Change::InPlace, DL_DATA, 1},
                    ChangeCase{"InPlaceBeforeTheLastBlock", Change::InPlace, DL_DATA, 2},
                    ChangeCase{"RenamedBeforeTheAnnounce", Change::Renamed, DL_ANNOUNCE, 0},
                    ChangeCase{"RenamedBeforeTheFirstBlock", Change::Renamed, DL_DATA, 0},
                    ChangeCase{"RenamedBeforeTheLastBlock", Change::Renamed, DL_DATA, 2},
                    ChangeCase{"TruncatedBeforeTheModel", Change::Truncated, DL_MODEL, 0},
                    ChangeCase{"TruncatedAfterTheFirstBlock", Change::Truncated, DL_DATA, 1},
                    ChangeCase{"TruncatedBeforeTheLastBlock", Change::Truncated, DL_DATA, 2}),
    CaseName<ChangeCase>);

struct WriteFailureCase {
  const char* name;
  std::size_t failingWrite;  // 0 is the announce frame
  std::uint32_t written;
};

class WriteFailure : public SequencerTest, public testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailure, EndsTheDownloadWithTheReasonKept) {
  const WriteFailureCase& c = GetParam();
  port_->FailWrites(c.failingWrite, 1, c.written);
  Begin(Load(PlanWithSegments({1500, 10})));

  EXPECT_EQ(StepToEnd(), StepResult::WriteFailed);
  EXPECT_EQ(Writes().size(), c.failingWrite + 1);
  EXPECT_EQ(guard_.LastError().code, FakePort::IoError().code);
  EXPECT_EQ(test::CountOf(Calls(), ViewCall::Kind::Status, TEXT_WAIT_RESET), 0u);
}

INSTANTIATE_TEST_SUITE_P(Frames, WriteFailure,
                         testing::Values(WriteFailureCase{"AnnounceNotWritten", 0, 0},
                                         WriteFailureCase{"SizeWrittenShort", 3, 2},
                                         WriteFailureCase{"FirstBlockWrittenShort", 5, 1000},
                                         WriteFailureCase{"EndFrameNotWritten", 8, 0}),
                         CaseName<WriteFailureCase>);

TEST_F(SequencerTest, StateStaysBelowTheWakeUpStatesHoweverLongTheDataPhase) {
  Begin(Load(PlanWithSegments({10})));
  StepUntil(DL_DATA);
  std::filesystem::rename(path_, dir_.File("away"));
  constexpr std::uint32_t RETRIES = DL_DATA_LAST - DL_DATA + 20;  // more than the states hold
  for (std::uint32_t i = 0; i < RETRIES; ++i) {
    ASSERT_EQ(Step(), StepResult::Retry);
    ASSERT_TRUE(IsDataState(data_.state)) << "after retry " << i;
  }
  EXPECT_EQ(data_.state, DL_DATA_LAST);

  std::filesystem::rename(dir_.File("away"), path_);
  ASSERT_EQ(StepToEnd(), StepResult::Done);
  EXPECT_EQ(data_.dataSteps, RETRIES + 2);
  EXPECT_EQ(Writes().back().bytes, BytesOf(EndFrame()));
}

}  // namespace
}  // namespace tarvex
