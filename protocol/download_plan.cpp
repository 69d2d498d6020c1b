#include "protocol/download_plan.h"

#include <algorithm>

#include "protocol/line_settings.h"
#include "protocol/pacing.h"
#include "protocol/texts.h"

namespace tarvex {

namespace {

constexpr LineRequest START_LINE{PARITY_CODE_EVEN, 100000};    // only the BreakByte goes out at it
constexpr LineRequest WAKE_LINE{PARITY_CODE_NONE, 250000};     // 8N2, like a DMX512 packet
constexpr LineRequest DOWNLOAD_LINE{PARITY_CODE_ODD, 115200};  // every other frame
constexpr std::string_view BLOCK_FRAME_NAME = "BlockFrame";

// The steps that re-open the port with new line settings before their frame.
std::optional<LineRequest> LineChangeOf(DownloadState state) {
  switch (state) {
    case DL_WAKE_FRAME:
      return WAKE_LINE;
    case DL_ANNOUNCE:
      return DOWNLOAD_LINE;
    default:
      return std::nullopt;
  }
}

bool UsesFile(DownloadState state) {
  return state == DL_ANNOUNCE || state == DL_MODEL || IsDataState(state);
}

PlanAction Action(PlanAction::Kind kind) {
  PlanAction action;
  action.kind = kind;
  return action;
}

PlanAction WaitAction(PlanTime until) {
  PlanAction action = Action(PlanAction::Kind::Wait);
  action.until = until;
  return action;
}

PlanAction StatusAction(const char* text) {
  PlanAction action = Action(PlanAction::Kind::Status);
  action.text = text;
  return action;
}

PlanAction ValueAction(PlanAction::Kind kind, std::uint32_t value) {
  PlanAction action = Action(kind);
  action.value = value;
  return action;
}

}  // namespace

std::uint32_t DownloadPlan::Cursor::BlockLength() const {
  return std::min(entry.segmentLength - bytesDone, BLOCK_DATA_MAX);
}

DownloadPlan DownloadPlan::Download(const FirmwareImage& image, const ImageSource* source,
                                    double timeScale) {
  DownloadPlan plan;
  plan.image_ = image;
  plan.source_ = source;
  plan.timeScale_ = timeScale;
  plan.state_ = image.needsWake ? DL_WAKE_BREAK : DL_ANNOUNCE;
  plan.firstLine_ = START_LINE;
  return plan;
}

DownloadPlan DownloadPlan::Test() {
  DownloadPlan plan;
  plan.test_ = true;
  plan.state_ = DL_TEST;
  plan.firstLine_ = DOWNLOAD_LINE;
  return plan;
}

PlanAction DownloadPlan::Next(PlanTime now) {
  if (queueHead_ < queueSize_) {
    const PlanAction action = queue_[queueHead_++];
    if (action.kind == PlanAction::Kind::Write) {
      phase_ = Phase::Writing;
    }
    return action;
  }
  switch (phase_) {
    case Phase::Open: {
      phase_ = Phase::Opening;
      PlanAction open = Action(PlanAction::Kind::Open);
      open.line = firstLine_;
      open.state = state_;
      return open;
    }
    case Phase::StepBegin:
      return BeginStep(now);
    case Phase::ReopenAhead: {
      phase_ = Phase::Reopening;
      PlanAction reopen = Action(PlanAction::Kind::Reopen);
      reopen.line = *LineChangeOf(state_);
      reopen.state = state_;
      return reopen;
    }
    case Phase::WaitDeadline:
      phase_ = Phase::StepDue;
      return WaitAction(deadline_);
    case Phase::StepDue:
      return DueStep(now);
    case Phase::LetLeave:
      phase_ = Phase::Over;
      if (lineFree_) {
        return WaitAction(*lineFree_);
      }
      break;
    case Phase::Opening:
    case Phase::Reopening:
    case Phase::Writing:
      // Asked again without being told how the last action went: that action failed.
      finishOutcome_ = JobOutcome::Cancelled;
      finishText_ = nullptr;
      phase_ = Phase::Over;
      break;
    case Phase::Over:
      break;
  }
  PlanAction finished = Action(PlanAction::Kind::Finished);
  finished.outcome = finishOutcome_;
  finished.text = finishText_;
  finished.state = state_;
  return finished;
}

void DownloadPlan::Opened(bool ok) {
  if (phase_ == Phase::Opening) {
    if (ok) {
      phase_ = test_ ? Phase::StepDue : Phase::StepBegin;
    } else {
      EndWith(JobOutcome::OpenFailed, TEXT_OPEN_FAIL);
    }
  } else if (phase_ == Phase::Reopening) {
    reopenOk_ = ok;
    phase_ = Phase::WaitDeadline;
  }
}

void DownloadPlan::Written(std::uint32_t count, PlanTime lineFree) {
  if (phase_ != Phase::Writing) {
    return;
  }
  from_ = lineFree;
  lineFree_ = lineFree;
  if (count != pending_.length) {
    EndWith(JobOutcome::WriteFailed, TEXT_WRITE_FAIL);
    return;
  }
  if (test_) {
    EndWith(JobOutcome::TestSent, TEXT_TEST_SENT);
    return;
  }
  if (pending_.nextState) {
    state_ = *pending_.nextState;
  }
  segBytes_ += pending_.blockBytes;
  totalSent_ += pending_.blockBytes;
  QueueClear();
  for (std::size_t i = 0; i < pending_.afterCount; ++i) {
    Queue(pending_.after[i]);
  }
  phase_ = Phase::StepBegin;
}

void DownloadPlan::Stop() {
  QueueClear();
  finishOutcome_ = JobOutcome::Cancelled;
  finishText_ = nullptr;
  phase_ = Phase::Over;
}

// A run that cannot go on: a frame just written leaves the line first, then the run is over.
void DownloadPlan::EndWith(JobOutcome outcome, const char* text) {
  finishOutcome_ = outcome;
  finishText_ = text;
  phase_ = Phase::LetLeave;
}

// One deadline per step: the moment the previous step's frame has left the line (or "now", when
// it wrote nothing) plus the wait of the state. What the step can do before that is done now.
PlanAction DownloadPlan::BeginStep(PlanTime now) {
  const PlanTime from = from_.value_or(now);
  from_.reset();
  lineFree_.reset();
  deadline_ = from + ScaledDelay(PacingDelay(state_), timeScale_);
  PrepareAhead();
  if (LineChangeOf(state_)) {
    phase_ = Phase::ReopenAhead;  // as soon as the line is free
    return WaitAction(from);
  }
  phase_ = Phase::StepDue;
  return WaitAction(deadline_);
}

PlanAction DownloadPlan::DueStep(PlanTime now) {
  if (state_ == DL_DONE) {
    finishOutcome_ = JobOutcome::Completed;
    finishText_ = TEXT_COMPLETE;
    phase_ = Phase::Over;
    return Next(now);
  }
  pending_.nextState.reset();
  pending_.blockBytes = 0;
  pending_.afterCount = 0;
  QueueClear();
  if (LineChangeOf(state_) && !reopenOk_) {
    state_ = DL_DONE;
    EndWith(JobOutcome::OpenFailed, TEXT_OPEN_FAIL);
    return Next(now);
  }
  reopenOk_ = false;
  const std::optional<StepEnd> end = Step();
  if (!end) {
    return Next(now);  // a write is queued
  }
  // Nothing was written: what the step showed goes first, then the next step counts from now.
  if (*end == StepEnd::FileChanged) {
    EndWith(JobOutcome::FileChanged, TEXT_FILE_ERROR);
  } else {
    phase_ = Phase::StepBegin;
  }
  return Next(now);
}

std::optional<DownloadPlan::StepEnd> DownloadPlan::Step() {
  switch (state_) {
    case DL_TEST:
      QueueWrite(TestCode(), std::nullopt);
      return std::nullopt;
    case DL_WAKE_BREAK:
      QueueWrite(BreakByte(), DL_WAKE_FRAME);
      After(StatusAction(TEXT_WAKE_BREAK));
      return std::nullopt;
    case DL_WAKE_FRAME:
      QueueWrite(WakeFrame(), DL_ANNOUNCE);
      After(StatusAction(TEXT_WAKE_FRAME));
      return std::nullopt;
    case DL_ANNOUNCE:
    case DL_MODEL:
      return ModelStep();
    case DL_BLANK:
      QueueWrite(BlankFrame(), DL_MODEL);
      return std::nullopt;
    case DL_SIZE:
      return SizeStep();
    case DL_START:
      QueueWrite(StartFrame(), DL_DATA);
      After(StatusAction(TEXT_START));
      return std::nullopt;
    case DL_WAIT_RESET:
      state_ = DL_DONE;
      return StepEnd::NoWrite;
    default:
      break;
  }
  if (IsDataState(state_)) {
    return DataStep();
  }
  state_ = DL_DONE;  // no step leads to any other value
  return StepEnd::NoWrite;
}

// The announce and the model frame carry the model name as the file holds it now, if it is still
// the checked image.
std::optional<DownloadPlan::StepEnd> DownloadPlan::ModelStep() {
  ModelName model = image_.modelName;
  if (source_) {
    if (const std::optional<StepEnd> notNow = CheckFile()) {
      return notNow;
    }
    const FileCheck read =
        ReadInto(static_cast<std::uint32_t>(MODEL_NAME_OFFSET), model.size(), model.data());
    if (const std::optional<StepEnd> notNow = NotSame(read)) {
      return notNow;
    }
  }
  if (state_ == DL_ANNOUNCE) {
    QueueWrite(AnnounceFrame(model), DL_BLANK);
    After(StatusAction(TEXT_ANNOUNCE));
  } else {
    QueueWrite(ModelFrame(model), DL_SIZE);
  }
  return std::nullopt;
}

std::optional<DownloadPlan::StepEnd> DownloadPlan::SizeStep() {
  QueueWrite(SizeFrame(image_.header), DL_START);
  // The loader refuses other counts; the bound keeps every row read inside the header copy.
  segCount_ = std::min<std::uint32_t>(SegmentCount(image_.header), SEGMENT_ROWS_MAX);
  segIndex_ = 0;
  segBytes_ = 0;
  totalSent_ = 0;
  After(ValueAction(PlanAction::Kind::ProgressRange, PayloadLength(image_.header)));
  After(ValueAction(PlanAction::Kind::Progress, 0));
  return std::nullopt;
}

std::optional<DownloadPlan::StepEnd> DownloadPlan::DataStep() {
  const DownloadState stepState = state_;
  if (segIndex_ + 1 != segmentShown_) {
    segmentShown_ = segIndex_ + 1;
    PlanAction segment = ValueAction(PlanAction::Kind::Segment, segmentShown_);
    segment.count = segCount_;
    Queue(segment);
  }
  // The data steps are counted apart from `state`, which stops at DL_DATA_LAST so that a long
  // download (or a long wait for a missing file) never runs into the wake-up states.
  state_ = stepState < DL_DATA_LAST ? static_cast<DownloadState>(stepState + 1) : DL_DATA_LAST;
  ++dataSteps_;

  const std::optional<Cursor> cursor = MoveToCurrentSegment();
  if (!cursor) {
    state_ = DL_WAIT_RESET;
    QueueWrite(EndFrame(), std::nullopt, stepState);
    After(StatusAction(TEXT_WAIT_RESET));
    return std::nullopt;
  }
  const std::uint32_t length = cursor->BlockLength();
  const std::uint32_t address = cursor->entry.targetAddress + segBytes_;
  if (!source_) {
    QueueBlock(stepState, length);
    return std::nullopt;
  }
  if (const std::optional<StepEnd> notNow = CheckFile()) {
    return notNow;
  }
  std::array<std::uint8_t, BLOCK_DATA_MAX> block;  // the source fills what is sent
  if (const std::optional<StepEnd> notNow =
          NotSame(ReadInto(cursor->FilePosition(), length, block.data()))) {
    return notNow;
  }
  frame_ = BlockFrame(address, std::span<const std::uint8_t>(block.data(), length));
  QueueBlock(stepState, length);
  return std::nullopt;
}

void DownloadPlan::QueueBlock(DownloadState stepState, std::uint32_t length) {
  PlanAction write = Action(PlanAction::Kind::Write);
  write.state = stepState;
  write.length = BLOCK_FRAME_OVERHEAD + length;
  write.name = BLOCK_FRAME_NAME;
  pending_.length = write.length;
  pending_.blockBytes = length;
  Queue(write);
  After(ValueAction(PlanAction::Kind::Progress, totalSent_ + length));
}

void DownloadPlan::QueueWrite(const Frame& frame, std::optional<DownloadState> nextState,
                              std::optional<DownloadState> stepState) {
  frame_ = frame;
  PlanAction write = Action(PlanAction::Kind::Write);
  write.state = stepState.value_or(state_);
  write.length = frame.size();
  write.name = frame.name();
  pending_.length = frame.size();
  pending_.nextState = nextState;
  Queue(write);
}

void DownloadPlan::After(PlanAction action) {
  if (pending_.afterCount < pending_.after.size()) {
    pending_.after[pending_.afterCount++] = action;
  }
}

void DownloadPlan::Queue(PlanAction action) {
  if (queueSize_ < queue_.size()) {
    queue_[queueSize_++] = action;
  }
}

void DownloadPlan::QueueClear() {
  queueHead_ = 0;
  queueSize_ = 0;
}

// Before a step sends bytes of the image file: is it still the image that was checked?
std::optional<DownloadPlan::StepEnd> DownloadPlan::CheckFile() {
  if (fileChecked_) {
    return std::nullopt;
  }
  const FileCheck check = source_->Check(image_);
  if (check == FileCheck::Same) {
    fileChecked_ = true;
    return std::nullopt;
  }
  return NotSame(check);
}

// What a check or read that did not give the checked bytes means for the step: try again later
// (and check the file again first) when it could not be read, end the download when it changed.
std::optional<DownloadPlan::StepEnd> DownloadPlan::NotSame(FileCheck check) {
  switch (check) {
    case FileCheck::Same:
      return std::nullopt;
    case FileCheck::Unavailable:
      fileChecked_ = false;
      ++retries_;
      return StepEnd::Retry;
    case FileCheck::Changed:
      break;
  }
  return StepEnd::FileChanged;
}

// The bytes read ahead by PrepareAhead when they are the ones asked for, or from the source now.
FileCheck DownloadPlan::ReadInto(std::uint32_t position, std::uint32_t length, std::uint8_t* out) {
  const bool fits = ahead_ && ahead_->position == position && ahead_->length == length;
  if (fits) {
    std::copy_n(ahead_->bytes.begin(), length, out);
  }
  ahead_.reset();
  return fits ? FileCheck::Same : source_->ReadBytes(image_, position, {out, length});
}

// The image file's check and the coming step's bytes, while the last frame is still on the wire.
// A file not found to be the same, or bytes that could not be read, are left to the step, which
// tries again and retries or ends as before.
void DownloadPlan::PrepareAhead() {
  if (!source_ || !UsesFile(state_)) {
    return;
  }
  if (!fileChecked_) {
    fileChecked_ = source_->Check(image_) == FileCheck::Same;
  }
  if (!fileChecked_ || ahead_) {
    return;
  }
  std::uint32_t position = static_cast<std::uint32_t>(MODEL_NAME_OFFSET);
  std::uint32_t length = MODEL_NAME_SIZE;
  if (IsDataState(state_)) {
    const std::optional<Cursor> cursor = NextCursor();
    if (!cursor) {
      return;
    }
    position = cursor->FilePosition();
    length = cursor->BlockLength();
  }
  Ahead& ahead = ahead_.emplace();
  ahead.position = position;
  ahead.length = length;
  if (source_->ReadBytes(image_, position, {ahead.bytes.data(), length}) != FileCheck::Same) {
    ahead_.reset();
  }
}

// Where the next data step sends from: the current segment, or the next when the current one is
// complete (at most one move per step). Empty when every segment has been sent.
std::optional<DownloadPlan::Cursor> DownloadPlan::NextCursor() const {
  Cursor cursor{segIndex_, segBytes_, {}};
  if (cursor.index >= segCount_) {
    return std::nullopt;
  }
  cursor.entry = Row(cursor.index);
  if (cursor.bytesDone == cursor.entry.segmentLength) {
    cursor.bytesDone = 0;
    ++cursor.index;
    if (cursor.index >= segCount_) {
      return std::nullopt;
    }
    cursor.entry = Row(cursor.index);
  }
  return cursor;
}

// Rows are read from the header once per segment, not once per block.
SegmentEntry DownloadPlan::Row(std::uint32_t index) const {
  if (rowFor_ != index) {
    rowFor_ = index;
    row_ = SegmentAt(image_.header, index);
  }
  return row_;
}

std::optional<DownloadPlan::Cursor> DownloadPlan::MoveToCurrentSegment() {
  const std::optional<Cursor> cursor = NextCursor();
  if (cursor) {
    segIndex_ = cursor->index;
    segBytes_ = cursor->bytesDone;
  } else if (segIndex_ < segCount_) {  // the last segment is complete: move past it
    ++segIndex_;
    segBytes_ = 0;
  }
  return cursor;
}

}  // namespace tarvex
