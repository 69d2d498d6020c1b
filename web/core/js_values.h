// What the bindings hand to and take from JavaScript: bytes, times and the names of outcomes.
#pragma once

#include <emscripten/val.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/download_plan.h"
#include "protocol/job_outcome.h"

namespace tarvex::web {

// A copy of a Uint8Array (or any array of byte values).
std::vector<std::uint8_t> BytesFrom(const emscripten::val& array);
// A new Uint8Array holding a copy of `bytes`.
emscripten::val BytesTo(std::span<const std::uint8_t> bytes);

// The page counts in milliseconds of performance.now(); the plan in its own time points.
PlanTime TimeFromMs(double ms);
double MsFromTime(PlanTime time);

// "Completed", "Cancelled", "WriteFailed", ...; None for a name it does not know.
const char* OutcomeName(JobOutcome outcome);
JobOutcome OutcomeFromName(const std::string& name);

}  // namespace tarvex::web
