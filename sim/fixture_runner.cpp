#include "sim/fixture_runner.h"

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>

namespace tarvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The line offers reads with a time-out only, so a stop request is seen within this time.
constexpr milliseconds READ_SLICE{50};
constexpr std::size_t READ_BUFFER_SIZE = 4096;  // bytes; more than a pseudo-terminal holds

LineSettings SeenSettings(const PtyLine& line) {
  PtyLineSettings pty;
  if (!line.Settings(pty)) {
    return {};  // baud 0: unknown, not checked
  }
  return {pty.baud, pty.parity == PtyParity::Odd ? PARITY_CODE_ODD : PARITY_CODE_NONE,
          pty.stopBits};
}

}  // namespace

FixtureRunner::FixtureRunner(PtyLine& line, RunnerOptions options)
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
  std::array<std::uint8_t, READ_BUFFER_SIZE> buffer{};
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
    const long got =
        line_.Read(buffer.data(), buffer.size(), std::chrono::ceil<milliseconds>(wakeUp - now));
    if (got < 0) {
      std::lock_guard lock(mutex_);
      lineErrno_ = static_cast<int>(-got);
      return RunEnd::LineFailed;
    }
    if (got > 0) {
      Feed(buffer.data(), static_cast<std::size_t>(got));
      settled = Settling(settled);
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

void FixtureRunner::Feed(const std::uint8_t* bytes, std::size_t length) {
  // Taken right after the read, before the sender can re-open at other settings: the pacing
  // keeps every re-open well after the last frame at the old settings.
  const Clock::time_point arrival = Clock::now();
  const LineSettings settings = SeenSettings(line_);
  std::lock_guard lock(mutex_);
  fixture_.Feed({bytes, length}, arrival, settings);
}

}  // namespace tarvex
