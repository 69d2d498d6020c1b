// Pacing fidelity of a whole download through the real POSIX backend into a pseudo-terminal:
// for every step, the measured gap between the writes of two frames (or from the press of
// Download to the first frame, or from the end frame to "Download Complete!") minus the
// scheduled gap (the earlier frame's wire time plus the pacing wait). A write returns once the
// frame is queued, so the wire time belongs to the frame before the gap. Also the
// CPU time the job spends against its wall time, and the resident memory at different image
// sizes. Compressed runs keep the wire time real (the backend waits for it) and scale the waits.
//
//   pacing_bench --benchmark_filter=Compressed   # a few seconds
//   pacing_bench                                 # adds a real-pace run of ~43 s
#include <benchmark/benchmark.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_download.h"
#include "bench/process_probe.h"
#include "engine/download_job.h"
#include "link/port_backend.h"
#include "platform/manual_event.h"
#include "protocol/schedule.h"
#include "sim/pty_line.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarvex::DownloadState;
using tarvex::bench::MakeImage;
using tarvex::bench::ProcessCpuSeconds;
using tarvex::bench::QuietView;
using tarvex::bench::ResidentKb;
using tarvex::bench::ThreadCpuSeconds;

constexpr std::chrono::milliseconds RSS_SAMPLE_PERIOD{20};

struct Stamp {
  Clock::time_point at;  // the write has returned
  DownloadState state;
};

struct Run {
  std::vector<double> overshootMs;  // per step
  double wallS = 0;
  double jobCpuS = 0;
  long peakRssKb = 0;
  bool completed = false;
};

// Reads and discards what the job writes, so the line never fills; keeps its own CPU time.
class Drain {
 public:
  explicit Drain(tarvex::PtyLine& line)
      : thread_([this, &line] {
          std::array<std::uint8_t, 4096> sink{};
          while (!stop_) {
            line.Read(sink.data(), sink.size(), std::chrono::milliseconds{50});
          }
          cpuS_ = ThreadCpuSeconds();
        }) {}
  double Finish() {
    stop_ = true;
    thread_.join();
    return cpuS_;
  }

 private:
  std::atomic<bool> stop_{false};
  double cpuS_ = 0;
  std::thread thread_;
};

Run Download(const tarvex::FirmwareImage& image, double scale) {
  tarvex::PtyLine line;
  Drain drain(line);
  QuietView view;
  std::mutex mutex;
  std::vector<Stamp> stamps;
  tarvex::JobOptions options;
  options.timeScale = scale;
  options.trace = [&](const tarvex::TraceEvent& event) {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex);
    stamps.push_back({now, event.state});
  };

  Run run;
  const double cpu0 = ProcessCpuSeconds();
  const double mainCpu0 = ThreadCpuSeconds();
  const Clock::time_point pressed = Clock::now();
  {
    tarvex::DownloadJob job(view, tarvex::MakeNativePortBackend(), options);
    job.SetImage(image);
    job.Start(line.SlavePath());
    while (!view.completed.WaitFor(RSS_SAMPLE_PERIOD)) {
      run.peakRssKb = std::max(run.peakRssKb, ResidentKb());
    }
    job.WaitForWorker();
    run.completed = job.Outcome() == tarvex::JobOutcome::Completed;
  }
  run.wallS = std::chrono::duration<double>(Clock::now() - pressed).count();
  const double mainCpu = ThreadCpuSeconds() - mainCpu0;
  run.jobCpuS = ProcessCpuSeconds() - cpu0 - mainCpu - drain.Finish();

  // Each step's lateness: how much longer than planned it came after the one before.
  const tarvex::PlannedRun planned = tarvex::PlanRun(image, scale);
  Clock::time_point previous = pressed;
  std::chrono::nanoseconds plannedPrevious{0};
  for (std::size_t i = 0; i < stamps.size() && i < planned.frames.size(); ++i) {
    const auto scheduled = planned.frames[i].at - plannedPrevious;
    run.overshootMs.push_back(
        std::chrono::duration<double, std::milli>(stamps[i].at - previous - scheduled).count());
    previous = stamps[i].at;
    plannedPrevious = planned.frames[i].at;
  }
  if (run.completed) {
    const auto scheduled = planned.end - plannedPrevious;
    run.overshootMs.push_back(
        std::chrono::duration<double, std::milli>(view.completedAt - previous - scheduled).count());
  }
  return run;
}

void Report(benchmark::State& state, const Run& run) {
  std::vector<double> sorted = run.overshootMs;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  const double worst = sorted.empty() ? 0 : sorted.back();
  state.SetIterationTime(run.wallS);
  state.counters["steps"] = static_cast<double>(sorted.size());
  state.counters["median_ms"] = median;
  state.counters["worst_ms"] = worst;
  state.counters["best_ms"] = sorted.empty() ? 0 : sorted.front();
  state.counters["cpu_pct"] = 100.0 * run.jobCpuS / run.wallS;
  state.counters["rss_kb"] = static_cast<double>(run.peakRssKb);
  if (!run.completed) {
    state.SkipWithError("the download did not complete");
  }
}

// Blocks of 1024 bytes, waits a hundred times shorter.
void BM_PacingCompressed(benchmark::State& state) {
  tarvex::test::TempDir dir;
  const auto image = MakeImage(dir, static_cast<std::uint32_t>(state.range(0)) * 1024, "7K BENCH");
  for (auto _ : state) {
    Report(state, Download(image, 0.01));
  }
}
BENCHMARK(BM_PacingCompressed)->Arg(32)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Resident memory with images of different sizes (waits a thousand times shorter).
void BM_MemoryCompressed(benchmark::State& state) {
  tarvex::test::TempDir dir;
  const auto image = MakeImage(dir, static_cast<std::uint32_t>(state.range(0)) * 1024, "BENCH");
  for (auto _ : state) {
    Report(state, Download(image, 0.001));
  }
}
BENCHMARK(BM_MemoryCompressed)
    ->Arg(8)
    ->Arg(128)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// A small image with the wake-up at the real pace: about 42.5 s.
void BM_PacingRealPace(benchmark::State& state) {
  tarvex::test::TempDir dir;
  const auto image = MakeImage(dir, 2000, "7K BENCH");
  for (auto _ : state) {
    Report(state, Download(image, 1.0));
  }
}
BENCHMARK(BM_PacingRealPace)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
