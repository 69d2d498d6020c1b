#include "protocol/sequencer.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <optional>

#include "image/image_format.h"
#include "link/line_settings.h"
#include "protocol/texts.h"

namespace tarvex {

namespace {

constexpr std::uint32_t WAKE_BAUD = 250000;      // bit/s, 8N2 like a DMX512 packet
constexpr std::uint32_t DOWNLOAD_BAUD = 115200;  // bit/s, 8O1

std::optional<StepResult> Failure(SendResult sent) {
  switch (sent) {
    case SendResult::Sent:
      return std::nullopt;
    case SendResult::Refused:
      return StepResult::Cancelled;
    case SendResult::Short:
      return StepResult::WriteFailed;
  }
  return StepResult::WriteFailed;
}

struct LineChange {
  std::uint8_t parity;
  std::uint32_t baud;
};

// The steps that re-open the port with new line settings before their frame.
std::optional<LineChange> LineChangeOf(DownloadState state) {
  switch (state) {
    case DL_WAKE_FRAME:
      return LineChange{PARITY_CODE_NONE, WAKE_BAUD};
    case DL_ANNOUNCE:
      return LineChange{PARITY_CODE_ODD, DOWNLOAD_BAUD};
    default:
      return std::nullopt;
  }
}

// The step's re-open: the one done ahead of it, or one now.
std::optional<StepResult> Reopen(StepContext& ctx, DownloadData& data) {
  if (!data.reopened) {
    ReopenAhead(ctx, data);
  }
  const PortGuard::Reopen outcome = *data.reopened;
  data.reopened.reset();
  switch (outcome) {
    case PortGuard::Reopen::Opened:
      return std::nullopt;
    case PortGuard::Reopen::Refused:
      return StepResult::Cancelled;
    case PortGuard::Reopen::Failed:
      break;
  }
  data.state = DL_DONE;
  return StepResult::OpenFailed;
}

// Before a step sends bytes of the image file: is it still the image that was checked?
std::optional<StepResult> CheckFile(const StepContext& ctx, DownloadData& data) {
  if (data.fileChecked) {
    return std::nullopt;
  }
  switch (ctx.image.Check(data.image)) {
    case FileCheck::Same:
      data.fileChecked = true;
      return std::nullopt;
    case FileCheck::Unavailable:
      return StepResult::Retry;
    case FileCheck::Changed:
      break;
  }
  return StepResult::FileChanged;
}

// What a read that did not give the checked bytes means for the step: try again later (and check
// the file again first) when it could not be read, end the download when it has changed.
std::optional<StepResult> NotSame(FileCheck check, DownloadData& data) {
  switch (check) {
    case FileCheck::Same:
      return std::nullopt;
    case FileCheck::Unavailable:
      data.fileChecked = false;
      return StepResult::Retry;
    case FileCheck::Changed:
      break;
  }
  return StepResult::FileChanged;
}

// The model name as the file holds it now, if it is still the checked one.
std::optional<StepResult> ReadModel(const StepContext& ctx, DownloadData& data, ModelName& model) {
  return NotSame(ctx.image.ReadBytes(data.image, MODEL_NAME_OFFSET, model), data);
}

StepResult StepWakeBreak(StepContext& ctx, DownloadData& data) {
  if (auto failed = Failure(SendFrame(ctx, data.state, BreakByte()))) {
    return *failed;
  }
  ctx.view.SetStatusText(TEXT_WAKE_BREAK);
  data.state = DL_WAKE_FRAME;
  return StepResult::Done;
}

StepResult StepWakeFrame(StepContext& ctx, DownloadData& data) {
  if (auto failed = Reopen(ctx, data)) {
    return *failed;
  }
  if (auto failed = Failure(SendFrame(ctx, data.state, WakeFrame()))) {
    return *failed;
  }
  ctx.view.SetStatusText(TEXT_WAKE_FRAME);
  data.state = DL_ANNOUNCE;
  return StepResult::Done;
}

StepResult StepAnnounce(StepContext& ctx, DownloadData& data) {
  if (auto failed = Reopen(ctx, data)) {
    return *failed;
  }
  if (auto notNow = CheckFile(ctx, data)) {
    return *notNow;
  }
  ModelName model{};
  if (auto notNow = ReadModel(ctx, data, model)) {
    return *notNow;
  }
  if (auto failed = Failure(SendFrame(ctx, data.state, AnnounceFrame(model)))) {
    return *failed;
  }
  ctx.view.SetStatusText(TEXT_ANNOUNCE);
  data.state = DL_BLANK;
  return StepResult::Done;
}

StepResult StepBlank(StepContext& ctx, DownloadData& data) {
  if (auto failed = Failure(SendFrame(ctx, data.state, BlankFrame()))) {
    return *failed;
  }
  data.state = DL_MODEL;
  return StepResult::Done;
}

StepResult StepModel(StepContext& ctx, DownloadData& data) {
  if (auto notNow = CheckFile(ctx, data)) {
    return *notNow;
  }
  ModelName model{};
  if (auto notNow = ReadModel(ctx, data, model)) {
    return *notNow;
  }
  if (auto failed = Failure(SendFrame(ctx, data.state, ModelFrame(model)))) {
    return *failed;
  }
  data.state = DL_SIZE;
  return StepResult::Done;
}

StepResult StepSize(StepContext& ctx, DownloadData& data) {
  if (auto failed = Failure(SendFrame(ctx, data.state, SizeFrame(data.image.header)))) {
    return *failed;
  }
  // The loader refuses other counts; the bound keeps every row read inside the header copy.
  data.segCount = std::min<std::uint32_t>(SegmentCount(data.image.header), SEGMENT_ROWS_MAX);
  data.progressRange = PayloadLength(data.image.header);
  data.segIndex = 0;
  data.segBytes = 0;
  data.totalSent = 0;
  data.state = DL_START;
  ctx.view.SetProgressRange(0, data.progressRange);
  ctx.view.SetProgressPos(0);
  return StepResult::Done;
}

StepResult StepStart(StepContext& ctx, DownloadData& data) {
  if (auto failed = Failure(SendFrame(ctx, data.state, StartFrame()))) {
    return *failed;
  }
  ctx.view.SetStatusText(TEXT_START);
  data.state = DL_DATA;
  return StepResult::Done;
}

const std::string& SegmentText(DownloadData& data) {
  const std::uint32_t segment = data.segIndex + 1;
  if (data.segmentTextFor != segment) {
    data.segmentText = fmt::format("{}{}/{}", TEXT_DOWNLOADING, segment, data.segCount);
    data.segmentTextFor = segment;
  }
  return data.segmentText;
}

// Where the next data step sends from: the current segment, or the next when the current one is
// complete (at most one move per step).
struct SegmentCursor {
  std::uint32_t index;
  std::uint32_t bytesDone;
  SegmentEntry entry;

  std::uint32_t BlockLength() const {
    return std::min(entry.segmentLength - bytesDone, BLOCK_DATA_MAX);
  }
  std::uint32_t FilePosition() const { return entry.fileOffset + bytesDone; }
};

// Empty when every segment has been sent.
std::optional<SegmentCursor> NextCursor(const DownloadData& data) {
  SegmentCursor cursor{data.segIndex, data.segBytes, {}};
  if (cursor.index >= data.segCount) {
    return std::nullopt;
  }
  cursor.entry = SegmentAt(data.image.header, cursor.index);
  if (cursor.bytesDone == cursor.entry.segmentLength) {
    cursor.bytesDone = 0;
    ++cursor.index;
    if (cursor.index >= data.segCount) {
      return std::nullopt;
    }
    cursor.entry = SegmentAt(data.image.header, cursor.index);
  }
  return cursor;
}

std::optional<SegmentCursor> CurrentSegment(DownloadData& data) {
  const std::optional<SegmentCursor> cursor = NextCursor(data);
  if (cursor) {
    data.segIndex = cursor->index;
    data.segBytes = cursor->bytesDone;
  } else if (data.segIndex < data.segCount) {  // the last segment is complete: move past it
    ++data.segIndex;
    data.segBytes = 0;
  }
  return cursor;
}

// The block's bytes: read ahead by PrepareFile when it got them, or from the source now.
FileCheck BlockBytes(const StepContext& ctx, DownloadData& data, std::uint32_t position,
                     std::span<std::uint8_t> out) {
  std::optional<ReadAhead>& ahead = data.readAhead;
  const bool fits = ahead && ahead->position == position && ahead->length == out.size();
  if (fits) {
    std::copy_n(ahead->bytes.begin(), out.size(), out.begin());
  }
  ahead.reset();
  return fits ? FileCheck::Same : ctx.image.ReadBytes(data.image, position, out);
}

StepResult StepEnd(StepContext& ctx, DownloadData& data, DownloadState stepState) {
  data.state = DL_WAIT_RESET;
  if (auto failed = Failure(SendFrame(ctx, stepState, EndFrame()))) {
    return *failed;
  }
  ctx.view.SetStatusText(TEXT_WAIT_RESET);
  return StepResult::Done;
}

StepResult StepData(StepContext& ctx, DownloadData& data) {
  const DownloadState stepState = data.state;
  ctx.view.SetStatusText(SegmentText(data));
  data.state = stepState < DL_DATA_LAST ? static_cast<DownloadState>(stepState + 1) : DL_DATA_LAST;
  ++data.dataSteps;

  const std::optional<SegmentCursor> cursor = CurrentSegment(data);
  if (!cursor) {
    return StepEnd(ctx, data, stepState);
  }
  const std::uint32_t length = cursor->BlockLength();
  const std::uint32_t address = cursor->entry.targetAddress + data.segBytes;

  if (auto notNow = CheckFile(ctx, data)) {
    return *notNow;
  }
  std::array<std::uint8_t, BLOCK_DATA_MAX> block;  // the source fills what is sent
  const std::span<std::uint8_t> bytes(block.data(), length);
  if (auto notNow = NotSame(BlockBytes(ctx, data, cursor->FilePosition(), bytes), data)) {
    return *notNow;
  }
  if (auto failed = Failure(SendFrame(ctx, stepState, BlockFrame(address, bytes)))) {
    return *failed;
  }
  data.segBytes += length;
  data.totalSent += length;
  ctx.view.SetProgressPos(data.totalSent);
  return StepResult::Done;
}

}  // namespace

DownloadData NewDownload(const std::string& portName, const FirmwareImage& image) {
  DownloadData data;
  data.portName = portName;
  data.image = image;
  data.state = image.needsWake ? DL_WAKE_BREAK : DL_ANNOUNCE;
  return data;
}

SendResult SendFrame(StepContext& ctx, DownloadState state, const Frame& frame) {
  // The trace gives the moment the frame began to go out, as a line analyser would see it. Only
  // asked for when traced: a dry run's steps would spend a tenth of their time on it.
  const auto began = ctx.trace ? std::chrono::steady_clock::now() : ctx.start;
  const std::optional<PortGuard::Written> written = ctx.port.Write(ctx.ticket, frame);
  if (!written) {
    return SendResult::Refused;
  }
  ctx.lineFree = written->lineFree;
  if (ctx.trace) {
    const auto since = began - ctx.start;
    ctx.trace(TraceEvent{std::chrono::duration_cast<std::chrono::milliseconds>(since), state,
                         frame.name(), frame.size(), written->settings, written->count});
  }
  return written->count == frame.size() ? SendResult::Sent : SendResult::Short;
}

bool ChangesLine(DownloadState state) {
  return LineChangeOf(state).has_value();
}

void ReopenAhead(StepContext& ctx, DownloadData& data) {
  const LineChange change = *LineChangeOf(data.state);
  data.reopened = ctx.port.ReopenPort(ctx.ticket, data.portName, change.parity, change.baud);
}

void PrepareFile(const StepContext& ctx, DownloadData& data) {
  const bool usesFile =
      data.state == DL_ANNOUNCE || data.state == DL_MODEL || IsDataState(data.state);
  if (!usesFile) {
    return;
  }
  if (!data.fileChecked) {
    data.fileChecked = ctx.image.Check(data.image) == FileCheck::Same;
  }
  const std::optional<SegmentCursor> cursor =
      IsDataState(data.state) ? NextCursor(data) : std::nullopt;
  if (!data.fileChecked || !cursor || data.readAhead) {
    return;
  }
  ReadAhead& ahead = data.readAhead.emplace();
  ahead.position = cursor->FilePosition();
  ahead.length = cursor->BlockLength();
  const std::span<std::uint8_t> bytes(ahead.bytes.data(), ahead.length);
  if (ctx.image.ReadBytes(data.image, ahead.position, bytes) != FileCheck::Same) {
    data.readAhead.reset();  // the step reads again, and retries or ends as the read says
  }
}

StepResult StepDownload(StepContext& ctx, DownloadData& data) {
  switch (data.state) {
    case DL_WAKE_BREAK:
      return StepWakeBreak(ctx, data);
    case DL_WAKE_FRAME:
      return StepWakeFrame(ctx, data);
    case DL_ANNOUNCE:
      return StepAnnounce(ctx, data);
    case DL_BLANK:
      return StepBlank(ctx, data);
    case DL_MODEL:
      return StepModel(ctx, data);
    case DL_SIZE:
      return StepSize(ctx, data);
    case DL_START:
      return StepStart(ctx, data);
    case DL_WAIT_RESET:
      data.state = DL_DONE;
      return StepResult::Done;
    default:
      break;
  }
  if (IsDataState(data.state)) {
    return StepData(ctx, data);
  }
  // No step leads to any other value.
  return StepResult::Done;
}

}  // namespace tarvex
