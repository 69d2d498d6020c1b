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
#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_download.h"
#include "bench/process_probe.h"
#include "engine/download_job.h"
#include "link/port_backend.h"
#include "protocol/schedule.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarvex::bench::ProcessCpuSeconds;
using tarvex::bench::ResidentKb;
using tarvex::bench::StatusField;
using tarvex::bench::ThreadCpuSeconds;

constexpr std::uint32_t IMAGE_BLOCKS = 16;  // about 3 s of data steps after 32 s of waits
constexpr std::chrono::milliseconds SAMPLE_PERIOD{20};
// Frames are at least 20 ms apart, and a frame's bytes arrive within microseconds of each other.
constexpr std::chrono::milliseconds QUIET_BETWEEN_FRAMES{5};
constexpr int READER_PRIORITY = 50;

// The frames a download writes, from a dry run of the sequencer: their lengths, and the gap
// from each frame's start to the next one's as scheduled.
struct Expected {
  std::vector<std::uint32_t> lengths;
  std::vector<std::chrono::nanoseconds> gaps;  // gaps[i]: from frame i - 1 to frame i
};

Expected ExpectedFrames(const tarvex::FirmwareImage& image) {
  Expected expected;
  std::chrono::nanoseconds previous{0};
  for (const tarvex::PlannedFrame& frame : tarvex::PlanRun(image).frames) {
    expected.gaps.push_back(expected.lengths.empty() ? std::chrono::nanoseconds{0}
                                                     : frame.at - previous);
    expected.lengths.push_back(frame.length);
    previous = frame.at;
  }
  return expected;
}

// A pseudo-terminal pair: the job opens the slave by its path; the bench reads the master. The
// bench keeps the slave open too, so the master never reads a hang-up between re-opens.
class Pty {
 public:
  Pty() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0) {
      fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
      path_ = ptsname(master_);
    }
  }
  ~Pty() {
    close(master_);
    close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int master() const { return master_; }
  const std::string& path() const { return path_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

struct FrameSeen {
  Clock::time_point start;  // when the reader woke for its first byte
  std::uint32_t bytes = 0;
};

struct LineSeen {
  std::vector<FrameSeen> frames;
  Clock::time_point last;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a of every byte
};

// The far side of every line: one thread waiting on all masters at once.
class FarSideReader {
 public:
  explicit FarSideReader(const std::vector<std::unique_ptr<Pty>>& ptys)
      : lines_(ptys.size()), epoll_(epoll_create1(EPOLL_CLOEXEC)) {
    for (std::size_t i = 0; i < ptys.size(); ++i) {
      fds_.push_back(ptys[i]->master());
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u32 = static_cast<std::uint32_t>(i);
      epoll_ctl(epoll_, EPOLL_CTL_ADD, ptys[i]->master(), &event);
    }
    thread_ = std::thread([this] { Loop(); });
  }
  ~FarSideReader() {
    Finish();
    close(epoll_);
  }
  FarSideReader(const FarSideReader&) = delete;
  FarSideReader& operator=(const FarSideReader&) = delete;

  // Stops reading; the reader's own CPU time.
  double Finish() {
    stop_ = true;
    if (thread_.joinable()) {
      thread_.join();
    }
    return cpuS_;
  }
  bool realTime() const { return realTime_; }
  std::size_t CompleteLines() const { return complete_.load(); }
  // Only once Finish() has returned.
  const std::vector<LineSeen>& lines() const { return lines_; }
  void SetFramesPerLine(std::size_t count) { framesPerLine_ = count; }

 private:
  void Loop() {
    sched_param param{};
    param.sched_priority = READER_PRIORITY;
    realTime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    std::array<epoll_event, 256> events{};
    std::array<std::uint8_t, 4096> buffer{};
    while (!stop_) {
      const int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 50);
      const Clock::time_point now = Clock::now();
      for (int i = 0; i < ready; ++i) {
        const std::uint32_t index = events[static_cast<std::size_t>(i)].data.u32;
        for (;;) {
          const ssize_t got = read(fds_[index], buffer.data(), buffer.size());
          if (got <= 0) {
            break;
          }
          Account(lines_[index], now, buffer.data(), static_cast<std::size_t>(got));
        }
      }
    }
    cpuS_ = ThreadCpuSeconds();
  }

  void Account(LineSeen& line, Clock::time_point now, const std::uint8_t* bytes, std::size_t n) {
    if (line.frames.empty() || now - line.last > QUIET_BETWEEN_FRAMES) {
      line.frames.push_back({now, 0});
      if (line.frames.size() == framesPerLine_) {
        ++complete_;
      }
    }
    line.frames.back().bytes += static_cast<std::uint32_t>(n);
    line.last = now;
    for (std::size_t i = 0; i < n; ++i) {
      line.hash = (line.hash ^ bytes[i]) * 1099511628211ull;
    }
  }

  std::vector<LineSeen> lines_;
  std::vector<int> fds_;
  int epoll_;
  std::size_t framesPerLine_ = 0;
  std::atomic<std::size_t> complete_{0};
  std::atomic<bool> stop_{false};
  bool realTime_ = false;
  double cpuS_ = 0;
  std::thread thread_;
};

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
// lines give step figures: a reader held up for longer than a gap sees two frames as one.
void Evaluate(const std::vector<LineSeen>& lines, const Expected& expected, PortsRun& run) {
  for (const LineSeen& line : lines) {
    bool exact = line.frames.size() == expected.lengths.size() && line.hash == lines[0].hash;
    for (std::size_t i = 0; exact && i < line.frames.size(); ++i) {
      exact = line.frames[i].bytes == expected.lengths[i];
    }
    for (std::size_t i = 1; exact && i < line.frames.size(); ++i) {
      const auto gap = line.frames[i].start - line.frames[i - 1].start;
      const double ms = std::chrono::duration<double, std::milli>(gap - expected.gaps[i]).count();
      if (run.overshootMs.empty() ||
          ms > *std::max_element(run.overshootMs.begin(), run.overshootMs.end())) {
        run.worstFrame = i;
      }
      run.overshootMs.push_back(ms);
    }
    run.exactLines += exact ? 1 : 0;
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
  FarSideReader reader(ptys);
  reader.SetFramesPerLine(expected.lengths.size());
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
  const Expected expected = ExpectedFrames(image);
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
