// The download sequencer: one step per call, each sending at most one frame, after the wait
// that the pacing worker gives its state. Usable without the worker: a dry run can drive it
// step by step against a null line.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "image/image_loader.h"
#include "protocol/download_state.h"
#include "protocol/frames.h"
#include "protocol/image_file.h"
#include "protocol/image_source.h"
#include "protocol/job_view.h"
#include "protocol/port_guard.h"
#include "protocol/trace_event.h"

namespace tarvex {

// A data block read before its step's deadline.
struct ReadAhead {
  std::uint32_t position = 0;  // in the file
  std::uint32_t length = 0;
  std::array<std::uint8_t, BLOCK_DATA_MAX> bytes{};
};

// What a download works on. The image is the job's own copy, taken when Download was pressed:
// a later Open does not change a running download.
struct DownloadData {
  std::string portName;
  FirmwareImage image;
  DownloadState state = DL_ANNOUNCE;
  std::uint32_t segIndex = 0;
  std::uint32_t segBytes = 0;
  std::uint32_t segCount = 0;
  std::uint32_t progressRange = 0;
  std::uint32_t totalSent = 0;
  // Data steps so far, retries and the EndFrame step included. `state` counts them too but
  // stops at DL_DATA_LAST, so that a long download (or a long wait for a missing file) never
  // carries it into the wake-up states; the pacing is the same for every data step after the
  // first.
  std::uint32_t dataSteps = 0;
  // The file at image.path was found to be the checked image. Cleared whenever the file could
  // not be opened, so that a file that comes back is checked again before its bytes are sent.
  bool fileChecked = false;
  // The re-open that ReopenAhead did for the step due next; that step takes it as its own.
  std::optional<PortGuard::Reopen> reopened;
  // The block the next data step sends, as PrepareFile read it.
  std::optional<ReadAhead> readAhead;
  // The segment counter as last shown, and the segment it counts: formatted once per segment,
  // not once per block.
  std::string segmentText;
  std::uint32_t segmentTextFor = 0;
};

// A download as the Download button starts it: the first state follows image.needsWake.
DownloadData NewDownload(const std::string& portName, const FirmwareImage& image);

// Everything a step works with besides the download's data.
struct StepContext {
  PortGuard& port;
  PortGuard::Ticket ticket;
  JobView& view;
  TraceSink trace;  // may be empty
  std::chrono::steady_clock::time_point start;
  const ImageSource& image;  // where the image's bytes come from
  // Set by each frame written: when it will have left the line. A write returns before that
  // (its wire time is left to the caller), so whoever closes the port or paces the next step
  // counts from here.
  std::optional<std::chrono::steady_clock::time_point> lineFree{};
};

enum class StepResult {
  Done,         // the step did its work; `state` is the next one
  Retry,        // the image file could not be opened: nothing was written, the step comes again
  Cancelled,    // the run no longer holds the port: nothing was written
  OpenFailed,   // a re-open failed; the port is closed and `state` is DL_DONE
  WriteFailed,  // a frame did not go out whole
  FileChanged,  // the file no longer holds the image checked at Open; no changed byte was sent
};

enum class SendResult { Sent, Refused, Short };

// Writes `frame` for the step of `state` and reports it to the trace.
SendResult SendFrame(StepContext& ctx, DownloadState state, const Frame& frame);

// Performs the step of data.state (never DL_DONE or DL_TEST) and sets the next state.
StepResult StepDownload(StepContext& ctx, DownloadData& data);

// Work of the coming step that needs no part of its deadline, done ahead of it so that when many
// jobs wake at the same instant each has little more than its write left.
//
// Whether the step of `state` re-opens the port with new line settings.
bool ChangesLine(DownloadState state);
// That re-open, once the line is free. The step takes its result as its own: a failure still
// fails the step, at its time.
void ReopenAhead(StepContext& ctx, DownloadData& data);
// The image file's check and the next data block, while the last frame is still on the wire. A
// file not found to be the same, or a block that could not be read, is left to the step, which
// tries again and retries as before.
void PrepareFile(const StepContext& ctx, DownloadData& data);

}  // namespace tarvex
