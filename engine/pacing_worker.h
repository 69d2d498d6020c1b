// The pacing worker's loop: carries out a run's plan over the port guard. One sleep per step, to
// the plan's deadline; what a step can do before it (a re-open, the file's check, the next block)
// the plan has done as the line fell free, so that jobs which all wake at one instant each have
// little more than their write left.
#pragma once

#include <optional>

#include "engine/job_run.h"
#include "engine/job_view.h"
#include "engine/port_guard.h"
#include "protocol/download_plan.h"
#include "protocol/trace_event.h"

namespace tarvex {

// Runs the plan until it finishes, and returns its Finished action; empty when the run was
// stopped or no longer holds the port (the cancel path does the rest).
std::optional<PlanAction> DrivePlan(JobRun& run, PortGuard& guard, JobView& view,
                                    const TraceSink& trace);

}  // namespace tarvex
