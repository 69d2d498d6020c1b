// Whether a download started from the Qt window keeps its steps as exactly as the command line's:
// the worker must never wait for the window to draw. The same image goes into a pseudo-terminal
// once through the window (offscreen, Download pressed, the Qt event loop running while a timer
// repaints the whole window every 4 ms) and once through a job whose view does nothing, as the
// command line's. A real-time reader on the far side stamps each frame's first byte; a step's
// lateness is the measured gap between two frames' starts minus the planned one. Nothing about
// time is asserted. The window's cases are named by their paint: its time in ms and whether it
// computes (1, holding a CPU) or waits (0, as for a slow display server); a worker that waited for
// the window would be late by up to a paint's time in the 200 ms case. Cli/3 is the control for
// the computing paints: the command line's job beside a thread that computes as much.
//
//   window_pacing_bench --benchmark_filter=Compressed   # 5.5 s per case, 8.5 s for 200 ms paints
//   window_pacing_bench                                 # adds real-pace runs (~45 s each)
//   TARVEX_BENCH_STEPS=1 window_pacing_bench ...        # every frame, planned and seen
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_download.h"
#include "bench/line_reader.h"
#include "engine/download_job.h"
#include "link/port_backend.h"
#include "tests/app/app_test_support.h"

namespace {

using tarvex::bench::Clock;
using tarvex::bench::Expected;
using tarvex::bench::FarSideReader;
using tarvex::bench::Pty;

constexpr double COMPRESSED_SCALE = 0.05;
constexpr std::uint32_t COMPRESSED_BYTES = 32 * 1024;
constexpr std::uint32_t REAL_PACE_BYTES = 2000;
constexpr std::chrono::milliseconds REPAINT_PERIOD{4};
constexpr std::chrono::milliseconds POLL_PERIOD{5};
// At most this quiet between frames; shorter when the plan has shorter gaps.
constexpr std::chrono::milliseconds MAX_QUIET{5};
constexpr std::chrono::seconds SPARE_TIME{10};

struct Measured {
  std::vector<double> lateMs;  // per step; empty when the line did not show the planned frames
  std::size_t framesSeen = 0;
  std::size_t framesPlanned = 0;
  double wallS = 0;
  bool realTimeReader = false;
  long paints = 0;  // of the window, while the download ran
};

// How a case starts its download on the line's path and keeps its own thread going until
// `done` holds (or the time is up).
struct Driver {
  std::function<void(const std::string& port)> start;
  std::function<void(const std::function<bool()>& done, Clock::time_point giveUp)> runUntil;
  std::function<long()> paints = [] { return 0L; };
};

// Each frame as seen beside the plan, when asked for or when they differ.
void PrintFrames(const tarvex::bench::LineSeen& line, const Expected& expected,
                 Clock::time_point pressed) {
  std::chrono::nanoseconds planned{0};
  for (std::size_t i = 0; i < std::max(line.frames.size(), expected.lengths.size()); ++i) {
    planned += i < expected.gaps.size() ? expected.gaps[i] : std::chrono::nanoseconds{0};
    const double plannedMs = std::chrono::duration<double, std::milli>(planned).count();
    const double seenMs =
        i < line.frames.size()
            ? std::chrono::duration<double, std::milli>(line.frames[i].start - pressed).count()
            : 0;
    std::fprintf(stderr, "frame %2zu  planned %5u bytes %10.3f ms  seen %5u bytes %10.3f ms\n", i,
                 i < expected.lengths.size() ? expected.lengths[i] : 0U, plannedMs,
                 i < line.frames.size() ? line.frames[i].bytes : 0U, seenMs);
  }
}

Measured Measure(const tarvex::FirmwareImage& image, double scale, Driver& driver) {
  const Expected expected = tarvex::bench::ExpectedFrames(image, scale);
  std::vector<std::unique_ptr<Pty>> ptys;
  ptys.push_back(std::make_unique<Pty>());
  const auto quiet = std::min<std::chrono::nanoseconds>(MAX_QUIET, ShortestGap(expected) / 2);
  FarSideReader reader(ptys, expected.lengths, quiet);

  Measured run;
  const Clock::time_point pressed = Clock::now();
  driver.start(ptys.front()->path());
  const auto planned = tarvex::PlanRun(image, scale).end;
  driver.runUntil([&] { return reader.CompleteLines() == 1; }, pressed + planned + SPARE_TIME);
  // The last frame must have come whole before the line is read for the last time.
  std::this_thread::sleep_for(MAX_QUIET * 2);
  run.wallS = std::chrono::duration<double>(Clock::now() - pressed).count();
  reader.Finish();
  run.realTimeReader = reader.realTime();
  run.paints = driver.paints();
  run.framesSeen = reader.lines().front().frames.size();
  run.framesPlanned = expected.lengths.size();
  if (run.framesSeen != run.framesPlanned || std::getenv("TARVEX_BENCH_STEPS") != nullptr) {
    PrintFrames(reader.lines().front(), expected, pressed);
  }
  run.lateMs =
      tarvex::bench::StepLateness(reader.lines().front(), expected).value_or(std::vector<double>{});
  return run;
}

void Report(benchmark::State& state, const Measured& run) {
  std::vector<double> sorted = run.lateMs;
  std::sort(sorted.begin(), sorted.end());
  state.SetIterationTime(run.wallS);
  state.counters["steps"] = static_cast<double>(sorted.size());
  state.counters["median_ms"] = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  state.counters["p90_ms"] = sorted.empty() ? 0 : sorted[sorted.size() * 9 / 10];
  state.counters["worst_ms"] = sorted.empty() ? 0 : sorted.back();
  state.counters["best_ms"] = sorted.empty() ? 0 : sorted.front();
  // Step i runs from frame i - 1 to frame i.
  const auto worst = std::max_element(run.lateMs.begin(), run.lateMs.end());
  state.counters["worst_step"] = static_cast<double>(worst - run.lateMs.begin() + 1);
  state.counters["paints"] = static_cast<double>(run.paints);
  state.counters["fifo_reader"] = run.realTimeReader ? 1 : 0;
  if (sorted.empty()) {
    state.SkipWithError(
        ("the line did not show the planned frames: " + std::to_string(run.framesSeen) + " of " +
         std::to_string(run.framesPlanned))
            .c_str());
  }
}

// How long each paint of the window takes, and whether it computes (holds a CPU) or waits (as
// for a slow display server).
struct PaintCost {
  std::chrono::milliseconds time{0};
  bool computes = false;
};

void Spend(PaintCost cost) {
  if (!cost.computes) {
    std::this_thread::sleep_for(cost.time);
    return;
  }
  const Clock::time_point until = Clock::now() + cost.time;
  while (Clock::now() < until) {
  }
}

// The command line's way: a job whose view does nothing. The starting thread sleeps, or, as the
// control for the window's computing paints, computes `load` of every repaint period.
class CliDriver : public Driver {
 public:
  CliDriver(const tarvex::FirmwareImage& image, double scale, std::chrono::milliseconds load) {
    tarvex::JobOptions options;
    options.timeScale = scale;
    job_ = std::make_unique<tarvex::DownloadJob>(view_, tarvex::MakeNativePortBackend(), options);
    job_->SetImage(image);
    start = [this](const std::string& port) { job_->Start(port); };
    runUntil = [this, load](const std::function<bool()>& done, Clock::time_point giveUp) {
      while (!(done() && view_.completed.IsSet()) && Clock::now() < giveUp) {
        Spend({load, true});
        std::this_thread::sleep_for(load.count() > 0 ? REPAINT_PERIOD - load : POLL_PERIOD);
      }
    };
  }

 private:
  tarvex::bench::QuietView view_;
  std::unique_ptr<tarvex::DownloadJob> job_;
};

// Makes every paint of the window take its cost of the UI thread, and counts them.
class SlowPaint : public QObject {
 public:
  explicit SlowPaint(PaintCost cost) : cost_(cost) {}
  long count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++count;
      Spend(cost_);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  PaintCost cost_;
};

// The window's way: the image opened through the Open button, the port typed, Download
// pressed; the Qt event loop runs while a timer repaints the whole window.
class WindowDriver : public Driver {
 public:
  WindowDriver(const std::filesystem::path& imagePath, double scale, PaintCost paintCost)
      : slowPaint_(paintCost) {
    dialog_ = std::make_unique<tarvex::CtarvexDlg>(tarvex::test::TestSeams(prompter_, scale));
    prompter_.openAnswers.push_back({QString::fromStdString(imagePath.string())});
    dialog_->OnOpenImage();
    dialog_->installEventFilter(&slowPaint_);
    dialog_->show();
    QObject::connect(&repaint_, &QTimer::timeout, dialog_.get(), [this] { dialog_->repaint(); });
    start = [this](const std::string& port) { Press(port); };
    runUntil = [this](const std::function<bool()>& done, Clock::time_point giveUp) {
      RunLoop(done, giveUp);
    };
    paints = [this] { return slowPaint_.count; };
  }
  ~WindowDriver() { dialog_->close(); }
  WindowDriver(const WindowDriver&) = delete;
  WindowDriver& operator=(const WindowDriver&) = delete;

 private:
  void Press(const std::string& port) {
    tarvex::test::ControlAs<QComboBox>(*dialog_, tarvex::ID_PORT_LIST)
        ->setEditText(QString::fromStdString(port));
    repaint_.start(REPAINT_PERIOD);
    slowPaint_.count = 0;
    tarvex::test::ControlAs<QPushButton>(*dialog_, tarvex::ID_DOWNLOAD)->click();
  }

  void RunLoop(const std::function<bool()>& done, Clock::time_point giveUp) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if ((done() && !dialog_->Job().IsBusy()) || Clock::now() >= giveUp) {
        loop.quit();
      }
    });
    poll.start(POLL_PERIOD);
    loop.exec();
    repaint_.stop();
  }

  tarvex::test::ScriptedPrompter prompter_;
  SlowPaint slowPaint_;
  QTimer repaint_;
  std::unique_ptr<tarvex::CtarvexDlg> dialog_;
};

struct Case {
  std::uint32_t bytes;
  double scale;
};

constexpr Case COMPRESSED{COMPRESSED_BYTES, COMPRESSED_SCALE};
constexpr Case REAL_PACE{REAL_PACE_BYTES, 1.0};

// Argument: how many ms of every repaint period the starting thread computes.
void RunCli(benchmark::State& state, Case c) {
  tarvex::test::TempDir dir;
  const auto image = tarvex::bench::MakeImage(dir, c.bytes, "7K BENCH");
  const std::chrono::milliseconds load{state.range(0)};
  for (auto _ : state) {
    CliDriver driver(image, c.scale, load);
    Report(state, Measure(image, c.scale, driver));
  }
}

// Arguments: how long each paint of the window takes, in ms, and whether it computes (1) or
// waits (0).
void RunWindow(benchmark::State& state, Case c) {
  tarvex::test::TempDir dir;
  const auto image = tarvex::bench::MakeImage(dir, c.bytes, "7K BENCH");
  const PaintCost paintCost{std::chrono::milliseconds{state.range(0)}, state.range(1) != 0};
  for (auto _ : state) {
    WindowDriver driver(dir.File("bench.zfr"), c.scale, paintCost);  // the file MakeImage wrote
    Report(state, Measure(image, c.scale, driver));
  }
}

void BM_CliCompressed(benchmark::State& state) {
  RunCli(state, COMPRESSED);
}
void BM_WindowCompressed(benchmark::State& state) {
  RunWindow(state, COMPRESSED);
}
void BM_CliRealPace(benchmark::State& state) {
  RunCli(state, REAL_PACE);
}
void BM_WindowRealPace(benchmark::State& state) {
  RunWindow(state, REAL_PACE);
}

BENCHMARK(BM_CliCompressed)
    ->Arg(0)
    ->Arg(3)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_WindowCompressed)
    ->Args({0, 0})
    ->Args({20, 0})
    ->Args({200, 0})
    ->Args({3, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_CliRealPace)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WindowRealPace)
    ->Args({20, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

// The window needs an application on this thread; without a display it draws offscreen.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
