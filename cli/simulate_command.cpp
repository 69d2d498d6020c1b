// tarvex-cli simulate: a virtual fixture on a new pseudo-terminal. It waits for one download to
// arrive, checks it as a fixture would, and tells what it received.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "sim/fixture_report.h"
#include "sim/fixture_runner.h"
#include "sim/pty_line.h"

namespace tarvex::cli {

namespace {

struct SimulateOptions {
  std::string out;        // Intel HEX file for the memory received; empty: none
  double timeoutS = 0.0;  // seconds; 0 waits until a download is over
};

// Turns Ctrl-C and SIGTERM into a call of `onInterrupt` on a thread of its own. The signals are
// blocked in the constructing thread, and so in every thread it starts afterwards; construct it
// before starting any thread that must not be killed by them.
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void()> onInterrupt)
      : onInterrupt_(std::move(onInterrupt)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    thread_ = std::thread([this] { Watch(); });
  }

  ~InterruptWatch() {
    closing_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);  // ends its sigwait; not taken as a request
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
  }

  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  void Watch() {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals_, &signal) != 0) {
        continue;
      }
      if (closing_) {
        return;
      }
      onInterrupt_();
    }
  }

  std::function<void()> onInterrupt_;
  sigset_t signals_{};
  sigset_t previousMask_{};
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

bool WriteMemory(const std::string& path, const FixtureMemory& memory, Io io) {
  std::ofstream file(path, std::ios::trunc);
  if (file && WriteIntelHex(memory, file)) {
    io.out << "Memory received written to " << path << " (Intel HEX, 32-bit addresses)\n";
    return true;
  }
  io.err << "tarvex-cli: cannot write " << path << ": " << std::strerror(errno) << '\n';
  return false;
}

int RunSimulate(const SimulateOptions& options, Io io) {
  PtyLine line;
  if (!line.Ok()) {
    io.err << "tarvex-cli: cannot create a pseudo-terminal: " << std::strerror(errno) << '\n';
    return EXIT_FAILED;
  }
  RunnerOptions runnerOptions;
  runnerOptions.timeout =
      std::chrono::milliseconds(static_cast<std::int64_t>(options.timeoutS * 1000));
  FixtureRunner runner(line, runnerOptions);
  const InterruptWatch interrupts([&runner] { runner.RequestStop(); });

  io.out << "Simulated fixture listening on " << line.SlavePath() << '\n'
         << "Waiting for a download (e.g. tarvex-cli download --port " << line.SlavePath()
         << " IMAGE); Ctrl-C to stop.\n"
         << std::flush;
  if (!runner.Start()) {
    io.err << "tarvex-cli: cannot start the fixture's thread\n";
    return EXIT_FAILED;
  }
  runner.Wait();

  const FixtureVerdict verdict = runner.Verdict();
  switch (runner.End()) {
    case RunEnd::Stopped:
      io.err << "tarvex-cli: interrupted\n";
      if (verdict.anythingReceived) {
        io.out << DescribeVerdict(verdict);
      }
      return EXIT_INTERRUPTED;
    case RunEnd::LineFailed:
      io.err << "tarvex-cli: reading the pseudo-terminal failed: "
             << std::strerror(runner.LineErrno()) << '\n';
      break;
    case RunEnd::TimedOut:
      io.out << "No download was over within " << options.timeoutS << " s.\n";
      break;
    case RunEnd::EndReceived:
    case RunEnd::Running:
      break;
  }
  io.out << DescribeVerdict(verdict);
  const bool written = options.out.empty() || WriteMemory(options.out, runner.Memory(), io);
  return verdict.Intact() && written ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

void AddSimulateCommand(CLI::App& app, Io io, int& exitCode) {
  auto options = std::make_shared<SimulateOptions>();
  CLI::App* simulate = app.add_subcommand(
      "simulate", "Act as a fixture on a new pseudo-terminal and check the download it receives");
  simulate
      ->add_option("--out", options->out,
                   "Write the memory received to FILE as Intel HEX (32-bit addresses)")
      ->type_name("FILE");
  simulate
      ->add_option("--timeout", options->timeoutS,
                   "Give up after S seconds (default: wait until a download is over)")
      ->type_name("S")
      ->check(CLI::PositiveNumber);
  simulate->footer(
      "Exit status: 0 when a download arrived intact, 1 when it had faults or none was over in "
      "time, 130 after Ctrl-C or SIGTERM.");
  simulate->callback([io, &exitCode, options] { exitCode = RunSimulate(*options, io); });
}

}  // namespace tarvex::cli
