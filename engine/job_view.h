// What a download or test job tells whoever watches it, as events. The dialogs, the CLI and the
// tests implement the ones they need. Events come from the thread that started the job, from
// the pacing worker or from the receive watcher, and must not make it wait: only Message() waits
// for the user, because the step that shows it ends the job when the box is closed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/job_outcome.h"
#include "protocol/texts.h"  // SegmentText, which Segment() shows

namespace tarvex {

enum class JobKind { Download, Test };

class JobView {
 public:
  virtual ~JobView() = default;

  // A run took the port; its worker starts after this returns.
  virtual void Started(JobKind /*kind*/) {}
  virtual void Status(std::string_view /*utf8*/) {}
  // The progress runs from 0 to `high`.
  virtual void ProgressRange(std::uint32_t /*high*/) {}
  virtual void Progress(std::uint32_t /*pos*/) {}
  // The data of segment `index` (from 1) of `count` are going out. Shown as a status by default.
  virtual void Segment(std::uint32_t index, std::uint32_t count);
  // A message box, owned by the window; returns when the user has closed it.
  virtual void Message(std::string_view /*utf8*/) {}
  // The run's port is about to be closed for good.
  virtual void Closing(JobKind /*kind*/) {}
  // The run is over and its port closed. `reason` adds to the outcome's fixed text, if anything.
  virtual void Ended(JobKind /*kind*/, JobOutcome /*outcome*/, const std::string& /*reason*/) {}
  // Received bytes were seen on the port (the watcher's thread).
  virtual void Received() {}
};

}  // namespace tarvex
