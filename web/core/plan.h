// Plan: the download's (or the test's) plan for the page's Worker, which carries out each action
// it is given (open, wait, write, ...) on Web Serial and tells the plan how it went.
#pragma once

#include <emscripten/val.h>

#include <cstdint>
#include <memory>

#include "protocol/download_plan.h"
#include "web/core/held_image.h"

namespace tarvex::web {

class Plan {
 public:
  // A download of the image in `bytes`; null when they are not a good image.
  static std::unique_ptr<Plan> Download(const emscripten::val& bytes, double timeScale);
  static std::unique_ptr<Plan> Test();

  emscripten::val Next(double nowMs);
  void Opened(bool ok) { plan_.Opened(ok); }
  void Written(std::uint32_t count, double lineFreeMs);
  void Stop() { plan_.Stop(); }
  emscripten::val Frame() const;

  // The checked image a download sends; null for the test.
  const FirmwareImage* Image() const { return held_ ? &*held_->Image() : nullptr; }

 private:
  Plan(std::unique_ptr<HeldImage> held, DownloadPlan plan)
      : held_(std::move(held)), plan_(std::move(plan)) {}

  std::unique_ptr<HeldImage> held_;  // the plan's source: it outlives the plan
  DownloadPlan plan_;
};

}  // namespace tarvex::web
