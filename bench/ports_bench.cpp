// Many downloads at once in one process, each on its own pseudo-terminal, at the real pace, as a
// production line runs them: N = 1, 8, 32 and 128 ports. A reader that is not the tool (a thread
// at real-time priority when the system allows it) reads the far side of every line and stamps
// the first byte of each frame. Per step, the overshoot is the measured gap between two frames'
// first bytes minus the scheduled gap (the earlier frame's wire time plus the pacing wait of the
// later frame's state); a negative figure would be a step that started early. Also the CPU the
// jobs use against wall time, the resident memory and the threads in use. The run stops once
// every line has seen its end frame. Nothing about time is asserted.
//
//   ports_bench                                  # about 35 s per N
//   ports_bench --benchmark_filter=ManyPorts/32
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/bench_download.h"
#include "bench/line_reader.h"
#include "bench/process_probe.h"
#include "engine/download_job.h"
#include "link/port_backend.h"

namespace {

using tarvex::bench::Clock;
using tarvex::bench::Expected;
using tarvex::bench::FarSideReader;
using tarvex::bench::LineSeen;
using tarvex::bench::ProcessCpuSeconds;
using tarvex::bench::Pty;
using tarvex::bench::ResidentKb;
using tarvex::bench::StatusField;
using tarvex::bench::ThreadCpuSeconds;

constexpr std::uint32_t IMAGE_BLOCKS = 16;  // about 3 s of data steps after 32 s of waits
constexpr std::chrono::milliseconds SAMPLE_PERIOD{20};
// Frames are at least 20 ms apart, and a frame's bytes arrive within microseconds of each other.
constexpr std::chrono::milliseconds QUIET_BETWEEN_FRAMES{5};

struct PortsRun {
  std::vector<double> overshootMs;  // every step of every line
  std::size_t worstFrame = 0;       // the frame whose step was latest
  std::size_t exactLines = 0;       // frames of the expected lengths, bytes as on every other line
  double wallS = 0;
  double jobCpuS = 0;
  long baseRssKb = 0;
  long peakRssKb = 0;
  long peakThreads = 0;
  bool realTimeReader = false;
};

// With TARVEX_BENCH_STEPS set: per frame, its length and the worst overshoot over all lines.
void PrintSteps(const std::vector<LineSeen>& lines, const Expected& expected) {
  if (std::getenv("TARVEX_BENCH_STEPS") == nullptr) {
    return;
  }
  for (std::size_t i = 1; i < expected.lengths.size(); ++i) {
    double worst = -1e9;
    for (const LineSeen& line : lines) {
      if (i < line.frames.size()) {
        const auto gap = line.frames[i].start - line.frames[i - 1].start - expected.gaps[i];
        worst = std::max(worst, std::chrono::duration<double, std::milli>(gap).count());
      }
    }
    std::printf("frame %2zu  %5u bytes  worst %8.3f ms\n", i, expected.lengths[i], worst);
  }
}

// Every line must show the expected frames with the same bytes as the first line. Only such
// lines give step figures.
void Evaluate(const std::vector<LineSeen>& lines, const Expected& expected, PortsRun& run) {
  for (const LineSeen& line : lines) {
    const auto lateMs = tarvex::bench::StepLateness(line, expected);
    if (!lateMs || line.hash != lines[0].hash) {
      continue;
    }
    for (std::size_t i = 0; i < lateMs->size(); ++i) {
      if (run.overshootMs.empty() ||
          (*lateMs)[i] > *std::max_element(run.overshootMs.begin(), run.overshootMs.end())) {
        run.worstFrame = i + 1;
      }
      run.overshootMs.push_back((*lateMs)[i]);
    }
    ++run.exactLines;
  }
}

std::chrono::nanoseconds Sum(const std::vector<std::chrono::nanoseconds>& gaps) {
  std::chrono::nanoseconds sum{0};
  for (const auto gap : gaps) {
    sum += gap;
  }
  return sum;
}

PortsRun RunPorts(const tarvex::FirmwareImage& image, const Expected& expected, int ports) {
  std::vector<std::unique_ptr<Pty>> ptys;
  for (int i = 0; i < ports; ++i) {
    ptys.push_back(std::make_unique<Pty>());
  }
  FarSideReader reader(ptys, expected.lengths, QUIET_BETWEEN_FRAMES);
  PortsRun run;
  run.baseRssKb = ResidentKb();

  std::vector<std::unique_ptr<tarvex::bench::QuietView>> views;
  std::vector<std::unique_ptr<tarvex::DownloadJob>> jobs;
  const double cpu0 = ProcessCpuSeconds();
  const double mainCpu0 = ThreadCpuSeconds();
  const Clock::time_point pressed = Clock::now();
  for (const auto& pty : ptys) {
    views.push_back(std::make_unique<tarvex::bench::QuietView>());
    jobs.push_back(
        std::make_unique<tarvex::DownloadJob>(*views.back(), tarvex::MakeNativePortBackend()));
    jobs.back()->SetImage(image);
    jobs.back()->Start(pty->path());
  }
  // Every line's last frame, with room for a slow machine.
  const Clock::time_point giveUp = pressed + Sum(expected.gaps) + std::chrono::seconds{10};
  while (reader.CompleteLines() < ptys.size() && Clock::now() < giveUp) {
    std::this_thread::sleep_for(SAMPLE_PERIOD);
    run.peakRssKb = std::max(run.peakRssKb, ResidentKb());
    run.peakThreads = std::max(run.peakThreads, StatusField("Threads"));
  }
  // The last frame must have come whole before the line is cut.
  std::this_thread::sleep_for(QUIET_BETWEEN_FRAMES * 2);
  run.wallS = std::chrono::duration<double>(Clock::now() - pressed).count();
  const double jobCpu = ProcessCpuSeconds() - cpu0 - (ThreadCpuSeconds() - mainCpu0);
  for (auto& job : jobs) {
    job->Cancel();
  }
  jobs.clear();
  run.jobCpuS = jobCpu - reader.Finish();
  run.realTimeReader = reader.realTime();
  Evaluate(reader.lines(), expected, run);
  PrintSteps(reader.lines(), expected);
  return run;
}

void Report(benchmark::State& state, const PortsRun& run, int ports) {
  std::vector<double> sorted = run.overshootMs;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&](double share) {
    return sorted.empty() ? 0.0 : sorted[static_cast<std::size_t>(share * (sorted.size() - 1))];
  };
  state.SetIterationTime(run.wallS);
  state.counters["steps"] = static_cast<double>(sorted.size());
  state.counters["exact_ports"] = static_cast<double>(run.exactLines);
  state.counters["best_ms"] = at(0.0);
  state.counters["median_ms"] = at(0.5);
  state.counters["p99_ms"] = at(0.99);
  state.counters["worst_ms"] = at(1.0);
  state.counters["worst_frame"] = static_cast<double>(run.worstFrame);
  state.counters["cpu_pct"] = 100.0 * run.jobCpuS / run.wallS;
  state.counters["rss_kb"] = static_cast<double>(run.peakRssKb);
  state.counters["rss_per_port_kb"] =
      static_cast<double>(run.peakRssKb - run.baseRssKb) / static_cast<double>(ports);
  state.counters["threads"] = static_cast<double>(run.peakThreads);
  state.counters["fifo_reader"] = run.realTimeReader ? 1 : 0;
  if (run.exactLines != static_cast<std::size_t>(ports)) {
    state.SetLabel("some lines did not show the expected frames: see exact_ports");
  }
}

// Each port holds a descriptor for the port, one for its cancel event, and the bench two more.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

void BM_ManyPorts(benchmark::State& state) {
  RaiseDescriptorLimit();
  tarvex::test::TempDir dir;
  const auto image = tarvex::bench::MakeImage(dir, IMAGE_BLOCKS * 1024, "7K BENCH");
  const Expected expected = tarvex::bench::ExpectedFrames(image);
  const int ports = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Report(state, RunPorts(image, expected, ports), ports);
  }
}
BENCHMARK(BM_ManyPorts)
    ->Arg(1)
    ->Arg(8)
    ->Arg(32)
    ->Arg(128)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
