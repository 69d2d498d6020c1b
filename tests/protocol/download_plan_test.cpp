// The download's plan alone, on a virtual clock: the frames and their line settings, the segment
// walk, the deadlines, and what happens when an open, a write or the image fails. No file, no
// port, no thread.
#include "protocol/download_plan.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/pacing.h"
#include "protocol/texts.h"
#include "tests/support/memory_image_source.h"
#include "tests/support/plan_runner.h"

namespace tarvex {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using test::ImagePlan;
using test::MemoryImageSource;
using test::PlanRunner;
using test::PlanWrite;
using Kind = PlanAction::Kind;

const LineSettings DOWNLOAD_LINE = MakeLineSettings(115200, PARITY_CODE_ODD);
const LineSettings START_LINE = MakeLineSettings(100000, PARITY_CODE_EVEN);
const LineSettings WAKE_LINE = MakeLineSettings(250000, PARITY_CODE_NONE);
constexpr std::size_t COMMAND_FRAMES = 5;  // announce, blank, model, size, start

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

class DownloadPlanTest : public testing::Test {
 protected:
  PlanRunner& Begin(const ImagePlan& plan) {
    file_ = test::BuildImage(plan);
    source_.emplace(file_);
    image_ = source_->Image();
    runner_.emplace(DownloadPlan::Download(image_, &*source_));
    return *runner_;
  }

  Bytes Block(std::size_t segment, std::uint32_t offset, std::uint32_t length) const {
    const SegmentEntry row = SegmentAt(image_.header, segment);
    const auto first = file_.begin() + row.fileOffset + offset;
    return BytesOf(BlockFrame(row.targetAddress + offset, Bytes(first, first + length)));
  }

  Bytes file_;
  std::optional<MemoryImageSource> source_;
  FirmwareImage image_;
  std::optional<PlanRunner> runner_;
};

TEST_F(DownloadPlanTest, ThreeSegmentExampleSendsExactlyTheseFramesAndShowsItsProgress) {
  PlanRunner& run = Begin(PlanWithSegments({1500, 10, 3000}));
  const PlanAction end = run.Run();
  EXPECT_EQ(end.outcome, JobOutcome::Completed);
  EXPECT_STREQ(end.text, TEXT_COMPLETE);

  const std::vector<Bytes> expected = {
      BytesOf(AnnounceFrame(image_.modelName)),
      BytesOf(BlankFrame()),
      BytesOf(ModelFrame(image_.modelName)),
      BytesOf(SizeFrame(image_.header)),
      BytesOf(StartFrame()),
      Block(0, 0, 1024),
      Block(0, 1024, 476),
      Block(1, 0, 10),
      Block(2, 0, 1024),
      Block(2, 1024, 1024),
      Block(2, 2048, 952),
      BytesOf(EndFrame()),
  };
  ASSERT_EQ(run.Writes().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(run.Writes()[i].bytes, expected[i]) << "write " << i;
    EXPECT_EQ(run.Writes()[i].settings, DOWNLOAD_LINE) << "write " << i;
  }
  EXPECT_EQ(run.Statuses(), (std::vector<std::string>{"QORVAL...", "Start...", "Downloading... 1/3",
                                                      "Downloading... 2/3", "Downloading... 3/3",
                                                      "Waitting for Reset..."}));
  EXPECT_EQ(run.Progress(), (std::vector<std::uint32_t>{0, 1024, 1500, 1510, 2534, 3558, 4510}));
  EXPECT_EQ(run.Plan().DataSteps(), 7u);
  EXPECT_EQ(run.Plan().State(), DL_DONE);
  EXPECT_EQ(run.Opens(), (std::vector<LineSettings>{START_LINE, DOWNLOAD_LINE}));
}

// One data step as the walk should make it: the counter shown while it goes out, and the block's
// segment, offset and length (none for the EndFrame step).
struct WalkStep {
  std::string counter;
  std::uint32_t segment = 0;
  std::uint32_t offset = 0;
  std::optional<std::uint32_t> length{};
};

struct WalkCase {
  const char* name;
  std::vector<std::uint32_t> lengths;
  std::vector<WalkStep> steps;
};

class SegmentWalk : public DownloadPlanTest, public testing::WithParamInterface<WalkCase> {};

TEST_P(SegmentWalk, SendsTheBlocksInTableOrder) {
  const WalkCase& c = GetParam();
  PlanRunner& run = Begin(PlanWithSegments(c.lengths));
  ASSERT_EQ(run.Run().outcome, JobOutcome::Completed);

  const std::vector<PlanWrite>& writes = run.Writes();
  ASSERT_EQ(writes.size(), COMMAND_FRAMES + c.steps.size());
  ASSERT_EQ(run.Plan().DataSteps(), c.steps.size());
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const WalkStep& step = c.steps[i];
    const PlanWrite& write = writes[COMMAND_FRAMES + i];
    EXPECT_EQ(write.status, TEXT_DOWNLOADING + step.counter) << "step " << i;
    const Bytes frame =
        step.length ? Block(step.segment, step.offset, *step.length) : BytesOf(EndFrame());
    EXPECT_EQ(write.bytes, frame) << "step " << i;
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

TEST_F(DownloadPlanTest, WakeUpGoesOutAtItsOwnSettingsBeforeTheAnnounce) {
  PlanRunner& run = Begin(PlanWithSegments({10}, "7K FIXTURE"));
  ASSERT_EQ(run.Plan().State(), DL_WAKE_BREAK);
  run.RunUntilState(DL_MODEL);

  const std::vector<PlanWrite>& writes = run.Writes();
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[0].bytes, BytesOf(BreakByte()));
  EXPECT_EQ(writes[0].settings, START_LINE);
  EXPECT_EQ(writes[1].bytes, BytesOf(WakeFrame()));
  EXPECT_EQ(writes[1].settings, WAKE_LINE);
  EXPECT_EQ(writes[2].settings, DOWNLOAD_LINE);
  EXPECT_EQ(run.Statuses(), (std::vector<std::string>{"Start 1...", "Start 2...", "QORVAL..."}));
  EXPECT_EQ(run.Opens(), (std::vector<LineSettings>{START_LINE, WAKE_LINE, DOWNLOAD_LINE}));
}

// Each step waits from the moment the previous frame has left the line; a step that re-opens the
// port does so as soon as the line is free, not before.
TEST_F(DownloadPlanTest, EveryStepIsDueItsWaitAfterThePreviousFrameLeftTheLine) {
  PlanRunner& run = Begin(PlanWithSegments({1500}, "7K FIXTURE"));
  ASSERT_EQ(run.Run().outcome, JobOutcome::Completed);
  const std::vector<PlanWrite>& writes = run.Writes();
  for (std::size_t i = 1; i < writes.size(); ++i) {
    const PlanTime lineFree =
        writes[i - 1].at + WireTime(writes[i - 1].settings, writes[i - 1].length);
    EXPECT_EQ(writes[i].at - lineFree, PacingDelay(writes[i].state)) << "write " << i;
  }
  // A re-open never comes before the frame ahead of it has left the line.
  PlanTime lastWrite{};
  std::size_t written = 0;
  PlanTime now{};
  for (const PlanAction& action : run.Actions()) {
    if (action.kind == Kind::Wait) {
      now = std::max(now, action.until);
    } else if (action.kind == Kind::Write) {
      lastWrite = writes[written].at;
      now = lastWrite + WireTime(writes[written].settings, writes[written].length);
      ++written;
    } else if (action.kind == Kind::Reopen && written > 0) {
      EXPECT_GE(now,
                lastWrite + WireTime(writes[written - 1].settings, writes[written - 1].length));
    }
  }
  // The run ends the waits of "Waitting for Reset..." and of the end after the end frame.
  const PlanTime endFrameFree = writes.back().at + WireTime(DOWNLOAD_LINE, writes.back().length);
  EXPECT_EQ(run.Now() - endFrameFree, milliseconds{10000 + 100});
}

struct ReopenCase {
  const char* name;
  const char* model;
  std::size_t failingOpen;  // 0 is the Download button's open
  std::size_t writesBefore;
};

class ReopenFailure : public DownloadPlanTest, public testing::WithParamInterface<ReopenCase> {};

TEST_P(ReopenFailure, EndsAtTheStepWithNothingMoreWritten) {
  const ReopenCase& c = GetParam();
  PlanRunner& run = Begin(PlanWithSegments({10}, c.model));
  run.FailOpen(c.failingOpen);
  const PlanAction end = run.Run();
  EXPECT_EQ(end.outcome, JobOutcome::OpenFailed);
  EXPECT_STREQ(end.text, TEXT_OPEN_FAIL);
  EXPECT_EQ(run.Writes().size(), c.writesBefore);
  EXPECT_EQ(run.Opens().size(), c.failingOpen + 1);
  // Once: asked again, the plan stays finished.
  EXPECT_EQ(run.Plan().Next(run.Now()).kind, Kind::Finished);
}

INSTANTIATE_TEST_SUITE_P(States, ReopenFailure,
                         testing::Values(ReopenCase{"ButtonsOpen", "TEST", 0, 0},
                                         ReopenCase{"WakeFrame", "7K", 1, 1},
                                         ReopenCase{"AnnounceAfterWake", "7K", 2, 2},
                                         ReopenCase{"Announce", "TEST", 1, 0}),
                         CaseName<ReopenCase>);

// The image's bytes cannot be had for a while: the step comes again (after its wait, counted from
// then) until they can, and sends nothing meanwhile.
struct MissingCase {
  const char* name;
  std::size_t writesBefore;  // the image goes away once this many frames went out
  std::uint32_t retries;
  std::size_t opensAfter;  // a step that re-opens does so each time
};

class MissingImage : public DownloadPlanTest, public testing::WithParamInterface<MissingCase> {};

TEST_P(MissingImage, StepComesAgainUntilTheBytesAreBack) {
  const MissingCase& c = GetParam();
  PlanRunner& run = Begin(PlanWithSegments({1500}));
  std::vector<std::size_t> writesSeen;
  run.OnProgress([&](std::size_t writes, std::uint32_t retries) {
    if (writes == c.writesBefore) {
      source_->SetAvailable(retries >= c.retries);
      writesSeen.push_back(writes);
    }
  });
  ASSERT_EQ(run.Run().outcome, JobOutcome::Completed);
  EXPECT_EQ(run.Plan().Retries(), c.retries);
  EXPECT_EQ(writesSeen.size(), c.retries + 1u);  // nothing went out while the bytes were away
  EXPECT_EQ(run.Opens().size(), c.opensAfter);
  EXPECT_EQ(run.Writes().size(), COMMAND_FRAMES + 3);  // the same frames as a clean run
  EXPECT_EQ(run.Writes()[COMMAND_FRAMES + 1].bytes, Block(0, 1024, 476));
  // The data steps count the retries too.
  EXPECT_EQ(run.Plan().DataSteps(), 3 + (c.writesBefore > COMMAND_FRAMES ? c.retries : 0));
}

INSTANTIATE_TEST_SUITE_P(Steps, MissingImage,
                         testing::Values(MissingCase{"Announce", 0, 2, 4},
                                         MissingCase{"Model", 2, 1, 2},
                                         MissingCase{"SecondBlock", COMMAND_FRAMES + 1, 3, 2}),
                         CaseName<MissingCase>);

TEST_F(DownloadPlanTest, StateStaysBelowTheWakeUpStatesHoweverLongTheDataPhase) {
  PlanRunner& run = Begin(PlanWithSegments({10}));
  constexpr std::uint32_t RETRIES = DL_DATA_LAST - DL_DATA + 20;  // more than the states hold
  bool stayed = true;
  run.OnProgress([&](std::size_t writes, std::uint32_t retries) {
    if (writes == COMMAND_FRAMES) {
      source_->SetAvailable(retries >= RETRIES);
      stayed = stayed && IsDataState(run.Plan().State());
    }
  });
  ASSERT_EQ(run.Run().outcome, JobOutcome::Completed);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(run.Plan().DataSteps(), RETRIES + 2);
  EXPECT_EQ(run.Writes().back().bytes, BytesOf(EndFrame()));
  EXPECT_EQ(run.Writes().back().state, DL_DATA_LAST);
}

// The image changes while the download runs: every frame that goes out is the checked image's,
// and the first step that would send a changed byte ends the download instead.
enum class Change { Flipped, Truncated };

struct ChangeCase {
  const char* name;
  Change change;
  std::size_t writesBefore;
};

class ChangedImage : public DownloadPlanTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangedImage, EndsTheDownloadBeforeAnyChangedByteGoesOut) {
  const ChangeCase& c = GetParam();
  const ImagePlan plan = PlanWithSegments({1500, 700});
  PlanRunner& clean = Begin(plan);
  ASSERT_EQ(clean.Run().outcome, JobOutcome::Completed);
  const std::vector<PlanWrite> checked = clean.Writes();

  PlanRunner& run = Begin(plan);
  run.OnProgress([&](std::size_t writes, std::uint32_t) {
    if (writes == c.writesBefore) {
      // One byte of the last block, so every case still has it ahead.
      c.change == Change::Flipped ? source_->Flip(source_->Size() - 5)
                                  : source_->Truncate(source_->Size() - 5);
    }
  });
  const PlanAction end = run.Run();
  EXPECT_EQ(end.outcome, JobOutcome::FileChanged);
  EXPECT_STREQ(end.text, TEXT_FILE_ERROR);
  ASSERT_LT(run.Writes().size(), checked.size());
  for (std::size_t i = 0; i < run.Writes().size(); ++i) {
    EXPECT_EQ(run.Writes()[i].bytes, checked[i].bytes) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Points, ChangedImage,
    testing::Values(ChangeCase{"FlippedBeforeTheAnnounce", Change::Flipped, 0},
                    ChangeCase{"FlippedBeforeTheModel", Change::Flipped, 2},
                    ChangeCase{"FlippedAfterTheFirstBlock", Change::Flipped, COMMAND_FRAMES + 1},
                    ChangeCase{"FlippedBeforeTheLastBlock", Change::Flipped, COMMAND_FRAMES + 2},
                    ChangeCase{"TruncatedBeforeTheAnnounce", Change::Truncated, 0},
                    ChangeCase{"TruncatedBeforeTheLastBlock", Change::Truncated,
                               COMMAND_FRAMES + 2}),
    CaseName<ChangeCase>);

struct WriteFailureCase {
  const char* name;
  std::size_t failingWrite;  // 0 is the announce frame
  std::uint32_t written;
};

class WriteFailure : public DownloadPlanTest,
                     public testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailure, EndsOnceTheFrameLeftTheLine) {
  const WriteFailureCase& c = GetParam();
  PlanRunner& run = Begin(PlanWithSegments({1500, 10}));
  run.ShortWrite(c.failingWrite, c.written);
  const PlanAction end = run.Run();
  EXPECT_EQ(end.outcome, JobOutcome::WriteFailed);
  EXPECT_STREQ(end.text, TEXT_WRITE_FAIL);
  EXPECT_EQ(run.Writes().size(), c.failingWrite + 1);
  // The last action before the end lets what was written leave the line.
  const std::vector<PlanAction>& actions = run.Actions();
  ASSERT_GE(actions.size(), 2u);
  const PlanAction& last = actions[actions.size() - 2];
  const PlanWrite& failed = run.Writes().back();
  if (c.written > 0) {
    ASSERT_EQ(last.kind, Kind::Wait);
    EXPECT_EQ(last.until, failed.at + WireTime(failed.settings, c.written));
  }
  for (const std::string& status : run.Statuses()) {
    EXPECT_NE(status, TEXT_WAIT_RESET);
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, WriteFailure,
                         testing::Values(WriteFailureCase{"AnnounceNotWritten", 0, 0},
                                         WriteFailureCase{"SizeWrittenShort", 3, 2},
                                         WriteFailureCase{"FirstBlockWrittenShort", 5, 1000},
                                         WriteFailureCase{"EndFrameNotWritten", 8, 0}),
                         CaseName<WriteFailureCase>);

TEST_F(DownloadPlanTest, AStopAtAnyPointEndsThePlanAsCancelledWithNothingMore) {
  for (std::size_t actions : {1u, 2u, 7u, 20u}) {
    PlanRunner& run = Begin(PlanWithSegments({3000}));
    run.Run(actions);
    const std::size_t written = run.Writes().size();
    const PlanAction end = run.Stop();
    EXPECT_EQ(end.kind, Kind::Finished) << actions;
    EXPECT_EQ(end.outcome, JobOutcome::Cancelled) << actions;
    EXPECT_EQ(run.Run().kind, Kind::Finished);
    EXPECT_EQ(run.Writes().size(), written);
  }
}

TEST_F(DownloadPlanTest, WithoutASourceTheLengthsAndTimesAreThoseOfTheRealRun) {
  PlanRunner& real = Begin(PlanWithSegments({1500, 10}, "7K FIXTURE"));
  real.Run();
  PlanRunner sizes(DownloadPlan::Download(image_, nullptr));
  EXPECT_EQ(sizes.Run().outcome, JobOutcome::Completed);
  ASSERT_EQ(sizes.Writes().size(), real.Writes().size());
  for (std::size_t i = 0; i < real.Writes().size(); ++i) {
    EXPECT_EQ(sizes.Writes()[i].length, real.Writes()[i].length) << i;
    EXPECT_EQ(sizes.Writes()[i].at, real.Writes()[i].at) << i;
  }
  EXPECT_EQ(sizes.Now(), real.Now());
}

struct TestCodeCase {
  const char* name;
  std::optional<std::uint32_t> written;  // empty: whole
  JobOutcome outcome;
  const char* text;
};

class TestCode : public testing::TestWithParam<TestCodeCase> {};

TEST_P(TestCode, GoesOutAt115200OddAndEndsWhenItLeftTheLine) {
  PlanRunner run(DownloadPlan::Test());
  if (GetParam().written) {
    run.ShortWrite(0, *GetParam().written);
  }
  const PlanAction end = run.Run();
  EXPECT_EQ(end.outcome, GetParam().outcome);
  EXPECT_STREQ(end.text, GetParam().text);
  ASSERT_EQ(run.Writes().size(), 1u);
  EXPECT_EQ(run.Writes()[0].bytes, BytesOf(tarvex::TestCode()));
  EXPECT_EQ(run.Writes()[0].state, DL_TEST);
  EXPECT_EQ(run.Opens(), std::vector<LineSettings>{DOWNLOAD_LINE});
  const std::uint32_t left = GetParam().written.value_or(run.Writes()[0].length);
  EXPECT_EQ(run.Now(), run.Writes()[0].at + WireTime(DOWNLOAD_LINE, left));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, TestCode,
    testing::Values(TestCodeCase{"Whole", std::nullopt, JobOutcome::TestSent, TEXT_TEST_SENT},
                    TestCodeCase{"Short", 1, JobOutcome::WriteFailed, TEXT_WRITE_FAIL}),
    CaseName<TestCodeCase>);

}  // namespace
}  // namespace tarvex
