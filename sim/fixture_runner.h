// Runs a VirtualFixture on a line (a pseudo-terminal, or a serial port: sim/fixture_line.h), on a
// thread of its own, until one exchange is over: the end frame of a download has arrived, or a test
// code that nothing followed, and the line has stayed quiet for a settling time; or the run's
// time-out has passed, the line failed, or someone asked it to stop. A download cut short and begun
// anew does not end the run.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/fixture_line.h"
#include "sim/pty_line.h"
#include "sim/virtual_fixture.h"

namespace tarvex {

struct RunnerOptions {
  // A pseudo-terminal shows odd parity but not even parity, hence OddOnly.
  FixtureOptions fixture{.parityView = ParityView::OddOnly};
  // How long to keep listening after the end frame, so that stray bytes after it are seen; and
  // after a test code, for a download that may follow it.
  std::chrono::milliseconds settle{300};
  // The whole run, from Start(); 0 waits for as long as it takes.
  std::chrono::milliseconds timeout{0};
};

enum class RunEnd : std::uint8_t {
  Running,           // not started, or still listening
  EndReceived,       // the end frame came and the line settled
  TestCodeReceived,  // a test code came and nothing followed it
  TimedOut,          // RunnerOptions::timeout passed first
  Stopped,           // Stop() or RequestStop()
  LineFailed,        // reading the line failed; LineErrno() says why
};

class FixtureRunner {
 public:
  // `line` must outlive the runner.
  explicit FixtureRunner(PtyLine& line, RunnerOptions options = {});
  FixtureRunner(FixtureLine& line, RunnerOptions options);
  ~FixtureRunner();  // stops the run and joins its thread
  FixtureRunner(const FixtureRunner&) = delete;
  FixtureRunner& operator=(const FixtureRunner&) = delete;

  // Starts listening. False when already started or the thread cannot be created.
  bool Start();
  // Asks the run to end; returns at once. Safe from any thread.
  void RequestStop();
  // Asks the run to end and waits until its thread has ended.
  void Stop();
  // Waits until the run is over (for at most `timeout`); true when it is.
  bool WaitFor(std::chrono::milliseconds timeout);
  void Wait();

  RunEnd End() const;
  int LineErrno() const;  // of a failed read, when End() is LineFailed
  // The verdict so far; callable while the run goes on.
  FixtureVerdict Verdict() const;
  // The rebuilt memory. Only once the run is over (after Wait(), or WaitFor() returned true).
  const FixtureMemory& Memory() const { return fixture_.Memory(); }

 private:
  void Listen();
  RunEnd ReadUntilOver();
  void Feed(const LineRead& read);
  std::optional<std::chrono::steady_clock::time_point> Settling(
      std::optional<std::chrono::steady_clock::time_point> settled) const;

  std::unique_ptr<FixtureLine> ownLine_;  // when made for a pseudo-terminal
  FixtureLine& line_;
  RunnerOptions options_;
  std::atomic<bool> stopRequested_{false};
  mutable std::mutex mutex_;
  std::condition_variable over_;
  VirtualFixture fixture_;  // guarded by mutex_ while the run goes on
  RunEnd end_ = RunEnd::Running;
  int lineErrno_ = 0;
  std::thread thread_;
};

}  // namespace tarvex
