// One download or test, from the button press to the end of its pacing worker. Each run has its
// own stop request, so a cancelled run's request can never reach the next run's worker.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "engine/job_view.h"
#include "engine/port_guard.h"
#include "platform/manual_event.h"
#include "protocol/download_plan.h"
#include "protocol/image_source.h"

namespace tarvex {

struct JobRun {
  JobRun(JobKind runKind, DownloadPlan runPlan) : kind(runKind), plan(std::move(runPlan)) {}

  JobKind kind;
  std::string portName;
  PortGuard::Ticket ticket = PortGuard::NO_TICKET;
  DownloadPlan plan;                          // touched by the worker only, once it has been let go
  std::shared_ptr<const ImageSource> source;  // where the image's bytes come from
  std::chrono::steady_clock::time_point start;
  ManualEvent stopEvent{false};
  ManualEvent go{false};  // the worker starts on it, like a thread created suspended
  std::atomic<DownloadState> state{DL_ANNOUNCE};  // the plan's, published for State()
  std::atomic<bool> finished{false};
};

}  // namespace tarvex
