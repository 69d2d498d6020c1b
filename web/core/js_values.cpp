#include "web/core/js_values.h"

#include <emscripten/wire.h>
#include <array>
#include <chrono>
#include <utility>

namespace tarvex::web {

namespace {

constexpr std::array<std::pair<JobOutcome, const char*>, 8> OUTCOME_NAMES{{
    {JobOutcome::None, "None"},
    {JobOutcome::Completed, "Completed"},
    {JobOutcome::TestSent, "TestSent"},
    {JobOutcome::Cancelled, "Cancelled"},
    {JobOutcome::OpenFailed, "OpenFailed"},
    {JobOutcome::ThreadFailed, "ThreadFailed"},
    {JobOutcome::WriteFailed, "WriteFailed"},
    {JobOutcome::FileChanged, "FileChanged"},
}};

}  // namespace

std::vector<std::uint8_t> BytesFrom(const emscripten::val& array) {
  return emscripten::convertJSArrayToNumberVector<std::uint8_t>(array);
}

emscripten::val BytesTo(std::span<const std::uint8_t> bytes) {
  const emscripten::val view(emscripten::typed_memory_view(bytes.size(), bytes.data()));
  return emscripten::val::global("Uint8Array").new_(view);  // a copy: the view dies with `bytes`
}

PlanTime TimeFromMs(double ms) {
  return PlanTime{} + std::chrono::duration_cast<PlanTime::duration>(
                          std::chrono::duration<double, std::milli>(ms));
}

double MsFromTime(PlanTime time) {
  return std::chrono::duration<double, std::milli>(time - PlanTime{}).count();
}

const char* OutcomeName(JobOutcome outcome) {
  for (const auto& [value, name] : OUTCOME_NAMES) {
    if (value == outcome) {
      return name;
    }
  }
  return "None";
}

JobOutcome OutcomeFromName(const std::string& name) {
  for (const auto& [value, text] : OUTCOME_NAMES) {
    if (name == text) {
      return value;
    }
  }
  return JobOutcome::None;
}

}  // namespace tarvex::web
