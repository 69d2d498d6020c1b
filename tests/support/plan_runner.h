// Carries out a download's plan in the test's own thread on a virtual clock, as a driver would:
// every open and write succeeds unless the test says otherwise, a write takes its wire time, and
// everything the plan asks for is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/download_plan.h"
#include "protocol/line_settings.h"
#include "tests/support/image_builder.h"

namespace tarvex::test {

struct PlanWrite {
  Bytes bytes;  // empty when the plan built no frame (a block without a source)
  std::uint32_t length = 0;
  DownloadState state = 0;
  LineSettings settings;
  PlanTime at;
  std::string status;  // the status shown when the write went out
};

class PlanRunner {
 public:
  explicit PlanRunner(DownloadPlan plan) : plan_(std::move(plan)) {}

  // Open number `index` (0 is the run's first) fails.
  void FailOpen(std::size_t index) { failingOpen_ = index; }
  // Write number `index` takes only `count` bytes.
  void ShortWrite(std::size_t index, std::uint32_t count) { shortWrite_ = {index, count}; }
  // Runs before the plan is asked for more once `writes` frames have gone out, and again after
  // each retry (with the same count): the test may change the image there.
  void OnProgress(std::function<void(std::size_t writes, std::uint32_t retries)> hook) {
    hook_ = std::move(hook);
  }

  // Carries out actions until the plan finishes, or `actionsMax` actions; the last one.
  PlanAction Run(std::size_t actionsMax = 1000000);
  // Carries out actions until the plan's state is `state` (the step before it went out).
  void RunUntilState(DownloadState state);
  // Stops the plan and returns what it then says.
  PlanAction Stop();

  DownloadPlan& Plan() { return plan_; }
  PlanTime Now() const { return now_; }
  const std::vector<PlanWrite>& Writes() const { return writes_; }
  const std::vector<LineSettings>& Opens() const { return opens_; }
  const std::vector<PlanAction>& Actions() const { return actions_; }
  const std::vector<std::string>& Statuses() const { return statuses_; }
  std::vector<std::uint32_t> Progress() const;

 private:
  PlanAction Carry();

  DownloadPlan plan_;
  PlanTime now_{};
  LineSettings line_;
  std::optional<std::size_t> failingOpen_;
  std::optional<std::pair<std::size_t, std::uint32_t>> shortWrite_;
  std::function<void(std::size_t, std::uint32_t)> hook_;
  std::optional<std::pair<std::size_t, std::uint32_t>> hookedAt_;
  std::vector<PlanWrite> writes_;
  std::vector<LineSettings> opens_;
  std::vector<PlanAction> actions_;
  std::vector<std::string> statuses_;
};

}  // namespace tarvex::test
