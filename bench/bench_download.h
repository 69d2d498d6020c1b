// What the download benchmarks share: a window that shows nothing, and a test image.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/job_view.h"
#include "image/image_loader.h"
#include "platform/manual_event.h"
#include "protocol/texts.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace tarvex::bench {

// A window that shows nothing and only notes when the download ended.
class QuietView : public JobView {
 public:
  void Status(std::string_view utf8) override {
    if (utf8 == TEXT_COMPLETE) {
      completedAt = std::chrono::steady_clock::now();
    }
  }
  void Ended(JobKind, JobOutcome, const std::string&) override { completed.Set(); }

  ManualEvent completed{false};
  std::chrono::steady_clock::time_point completedAt;
};

// One segment of `bytes` pseudo-random bytes for `model` ("7K ..." needs the wake-up).
inline FirmwareImage MakeImage(const test::TempDir& dir, std::uint32_t bytes, const char* model) {
  test::ImagePlan plan;
  plan.model = test::Model(model);
  plan.segments = {{0x00010000, test::PseudoRandomBytes(bytes, bytes)}};
  const auto path = dir.File("bench.zfr");
  test::WriteImage(path, plan);
  return *LoadImage(path.string()).image;
}

}  // namespace tarvex::bench
