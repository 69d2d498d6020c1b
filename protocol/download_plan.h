// A download (or a test) as a resumable plan that does nothing itself. Asked "what next?", it
// answers with one action at a time: open or re-open the port at these line settings, wait until
// this instant, write this frame, show this status or progress, or finished. Its driver carries
// the action out and tells it how it went. It reads no clock (every time is given to it), starts
// no thread and touches no port, so the same plan runs over a serial port, a virtual clock or a
// browser's serial API.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "image/image_loader.h"
#include "protocol/download_state.h"
#include "protocol/frames.h"
#include "protocol/image_source.h"
#include "protocol/job_outcome.h"

namespace tarvex {

// Only the type: the plan never reads this clock.
using PlanTime = std::chrono::steady_clock::time_point;

struct LineRequest {
  std::uint8_t parity = 0;  // PARITY_CODE_*
  std::uint32_t baud = 0;   // bit/s
};

struct PlanAction {
  enum class Kind : std::uint8_t {
    Open,           // open the port at `line`: the first action of a run
    Reopen,         // the close sequence, then an open at `line`
    Wait,           // until `until`; a stop request may end it early
    Write,          // FrameToWrite(): `name`, `length` bytes, for the step of `state`
    Status,         // show `text`
    Segment,        // show "segment `value` of `count`"
    ProgressRange,  // the progress runs from 0 to `value`
    Progress,       // the progress is at `value`
    Finished,       // the run is over: `outcome`; `text` is what the user is told, if anything
  };

  Kind kind = Kind::Finished;
  DownloadState state = 0;
  LineRequest line{};
  PlanTime until{};
  std::uint32_t value = 0;
  std::uint32_t count = 0;
  std::uint32_t length = 0;
  std::string_view name;
  const char* text = nullptr;
  JobOutcome outcome = JobOutcome::None;
};

// Bytes of a plan's coming step (a data block or the model name) read before its deadline.
struct BytesAhead {
  std::uint32_t position = 0;
  std::uint32_t length = 0;
  std::array<std::uint8_t, BLOCK_DATA_MAX> bytes{};
};

class DownloadPlan {
 public:
  // A download of `image`, whose bytes come from `source`. Without a source the plan sends the
  // right lengths but builds no frame (FrameToWrite() is empty): a schedule needs no more.
  // `timeScale` multiplies every pacing wait.
  static DownloadPlan Download(const FirmwareImage& image, const ImageSource* source,
                               double timeScale = 1.0);
  // The Test button's run: one test code.
  static DownloadPlan Test();

  // The next action. `now` is the driver's clock: the plan counts from it where a step wrote
  // nothing.
  PlanAction Next(PlanTime now);

  // How the last Open or Reopen went.
  void Opened(bool ok);
  // How the last Write went: bytes the port took, and when they will have left the line.
  void Written(std::uint32_t count, PlanTime lineFree);
  // From here on the plan only finishes, as Cancelled.
  void Stop();

  // The frame of the last Write action.
  const Frame& FrameToWrite() const { return frame_; }

  DownloadState State() const { return state_; }
  std::uint32_t DataSteps() const { return dataSteps_; }
  // Steps that came again because the image's bytes could not be had.
  std::uint32_t Retries() const { return retries_; }

 private:
  enum class Phase : std::uint8_t {
    Open,          // the run's first open
    Opening,       // waiting to be told how it went
    StepBegin,     // the next step's deadline and its work ahead
    ReopenAhead,   // the line is free: re-open for the step due
    Reopening,     // waiting to be told how it went
    WaitDeadline,  // the step's own wait
    StepDue,       // the step itself
    Writing,       // waiting to be told how the write went
    LetLeave,      // the last frame leaves the line before the run ends
    Over,
  };
  // How a step that writes nothing ends.
  enum class StepEnd : std::uint8_t { NoWrite, Retry, FileChanged };

  // The step's write, and what it changes once the frame went out whole.
  struct Pending {
    std::uint32_t length = 0;
    std::optional<DownloadState> nextState;
    std::uint32_t blockBytes = 0;
    std::array<PlanAction, 2> after{};  // shown then
    std::size_t afterCount = 0;
  };

  // The data cursor: where the next data step sends from.
  struct Cursor {
    std::uint32_t index = 0;
    std::uint32_t bytesDone = 0;
    SegmentEntry entry{};
    std::uint32_t BlockLength() const;
    std::uint32_t FilePosition() const { return entry.fileOffset + bytesDone; }
  };

  using Ahead = BytesAhead;

  DownloadPlan() : frame_(std::string_view{}, {}) {}

  PlanAction BeginStep(PlanTime now);
  PlanAction DueStep(PlanTime now);
  void EndWith(JobOutcome outcome, const char* text);

  std::optional<StepEnd> Step();
  std::optional<StepEnd> ModelStep();
  std::optional<StepEnd> SizeStep();
  std::optional<StepEnd> DataStep();
  void QueueWrite(const Frame& frame, std::optional<DownloadState> nextState,
                  std::optional<DownloadState> stepState = std::nullopt);
  void QueueBlock(DownloadState stepState, std::uint32_t length);
  void After(PlanAction action);
  void Queue(PlanAction action);
  void QueueClear();

  std::optional<StepEnd> CheckFile();
  std::optional<StepEnd> NotSame(FileCheck check);
  FileCheck ReadInto(std::uint32_t position, std::uint32_t length, std::uint8_t* out);
  void PrepareAhead();
  std::optional<Cursor> NextCursor() const;
  SegmentEntry Row(std::uint32_t index) const;
  std::optional<Cursor> MoveToCurrentSegment();

  bool test_ = false;
  FirmwareImage image_;
  const ImageSource* source_ = nullptr;
  double timeScale_ = 1.0;

  Phase phase_ = Phase::Open;
  DownloadState state_ = DL_ANNOUNCE;
  LineRequest firstLine_{};
  std::optional<PlanTime> from_;  // when the last frame left the line; empty: the step's "now"
  PlanTime deadline_{};
  std::optional<PlanTime> lineFree_;  // of this step's write, which a failing run lets leave
  bool reopenOk_ = false;             // how the step's re-open went
  bool fileChecked_ = false;          // the file was found to be the checked image
  std::optional<Ahead> ahead_;

  std::uint32_t segIndex_ = 0;
  std::uint32_t segBytes_ = 0;
  std::uint32_t segCount_ = 0;
  std::uint32_t totalSent_ = 0;
  std::uint32_t dataSteps_ = 0;
  std::uint32_t retries_ = 0;
  std::uint32_t segmentShown_ = 0;  // the segment the status shows; 0 before the first
  mutable std::uint32_t rowFor_ = SEGMENT_ROWS_MAX;  // the row that row_ holds
  mutable SegmentEntry row_{};

  Pending pending_;
  // Actions handed out before the phase goes on: the segment counter and the write, or what
  // follows a write.
  std::array<PlanAction, 3> queue_{};
  std::size_t queueHead_ = 0;
  std::size_t queueSize_ = 0;

  JobOutcome finishOutcome_ = JobOutcome::None;
  const char* finishText_ = nullptr;

  Frame frame_;
};

}  // namespace tarvex
