#include "sim/fixture_runner.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The line offers reads with a time-out only, so a stop request is seen within this time.
constexpr milliseconds READ_SLICE{50};

}  // namespace

FixtureRunner::FixtureRunner(FixtureLine& line, RunnerOptions options)
    : line_(line), options_(options), fixture_(options.fixture) {}

FixtureRunner::~FixtureRunner() {
  Stop();
}

bool FixtureRunner::Start() {
  if (thread_.joinable() || End() != RunEnd::Running) {
    return false;
  }
  try {
    thread_ = std::thread([this] { Listen(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void FixtureRunner::RequestStop() {
  stopRequested_ = true;
}

void FixtureRunner::Stop() {
  RequestStop();
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool FixtureRunner::WaitFor(milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return over_.wait_for(lock, timeout, [this] { return end_ != RunEnd::Running; });
}

void FixtureRunner::Wait() {
  std::unique_lock lock(mutex_);
  over_.wait(lock, [this] { return end_ != RunEnd::Running; });
}

RunEnd FixtureRunner::End() const {
  std::lock_guard lock(mutex_);
  return end_;
}

int FixtureRunner::LineErrno() const {
  std::lock_guard lock(mutex_);
  return lineErrno_;
}

FixtureVerdict FixtureRunner::Verdict() const {
  std::lock_guard lock(mutex_);
  return fixture_.Verdict();
}

void FixtureRunner::Listen() {
  const RunEnd end = ReadUntilOver();
  {
    std::lock_guard lock(mutex_);
    end_ = end;
  }
  over_.notify_all();
}

RunEnd FixtureRunner::ReadUntilOver() {
  const Clock::time_point started = Clock::now();
  const std::optional<Clock::time_point> deadline =
      options_.timeout.count() > 0 ? std::optional(started + options_.timeout) : std::nullopt;
  std::optional<Clock::time_point> settled;  // set once the exchange is over
  line_.Expect(fixture_.NextSettings());
  for (;;) {
    if (stopRequested_) {
      return RunEnd::Stopped;
    }
    const Clock::time_point now = Clock::now();
    if (settled && now >= *settled) {
      return fixture_.EndReceived() ? RunEnd::EndReceived : RunEnd::TestCodeReceived;
    }
    if (deadline && now >= *deadline) {
      return RunEnd::TimedOut;
    }
    Clock::time_point wakeUp = now + READ_SLICE;
    for (const auto& limit : {settled, deadline}) {
      if (limit) {
        wakeUp = std::min(wakeUp, *limit);
      }
    }
    const LineRead read = line_.Read(std::chrono::ceil<milliseconds>(wakeUp - now));
    if (read.error != 0) {
      std::lock_guard lock(mutex_);
      lineErrno_ = read.error;
      return RunEnd::LineFailed;
    }
    if (!read.received.bytes.empty()) {
      Feed(read);
      settled = Settling(settled);
      line_.Expect(fixture_.NextSettings());
    }
  }
}

// Bytes after the end frame are listened to, not waited out; a test code is alone only as long as
// nothing follows it.
std::optional<Clock::time_point> FixtureRunner::Settling(
    std::optional<Clock::time_point> settled) const {
  if (fixture_.EndReceived()) {
    return settled ? settled : Clock::now() + options_.settle;
  }
  if (fixture_.TestCodeWaiting()) {
    return Clock::now() + options_.settle;
  }
  return std::nullopt;
}

void FixtureRunner::Feed(const LineRead& read) {
  const Clock::time_point arrival = Clock::now();
  std::lock_guard lock(mutex_);
  fixture_.Feed(read.received.bytes, arrival, read.settings, read.received.marked,
                read.writtenFrom);
}

}  // namespace tarvex
