// The far side of pseudo-terminal lines for the pacing benchmarks: a reader that is not the tool
// (a thread at real-time priority when the system allows it) reads every master and stamps the
// first byte of each frame, frames being told apart by a quiet gap on the line. Also what a run
// is expected to show, from the plan, and each step's lateness against it.
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/process_probe.h"
#include "protocol/schedule.h"

namespace tarvex::bench {

using Clock = std::chrono::steady_clock;

// The frames a download writes, from the plan: their lengths, and the gap from each frame's
// start to the next one's as scheduled.
struct Expected {
  std::vector<std::uint32_t> lengths;
  std::vector<std::chrono::nanoseconds> gaps;  // gaps[i]: from frame i - 1 to frame i
};

inline Expected ExpectedFrames(const FirmwareImage& image, double timeScale = 1.0) {
  Expected expected;
  std::chrono::nanoseconds previous{0};
  for (const PlannedFrame& frame : PlanRun(image, timeScale).frames) {
    expected.gaps.push_back(expected.lengths.empty() ? std::chrono::nanoseconds{0}
                                                     : frame.at - previous);
    expected.lengths.push_back(frame.length);
    previous = frame.at;
  }
  return expected;
}

// The shortest planned gap between two frames: the line must fall quiet for less than that.
inline std::chrono::nanoseconds ShortestGap(const Expected& expected) {
  if (expected.gaps.size() < 2) {
    return std::chrono::nanoseconds::max();
  }
  return *std::min_element(expected.gaps.begin() + 1, expected.gaps.end());
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

// The frames' lengths as planned: each step's lateness in ms (how much longer than planned
// frame i came after frame i - 1), or nothing when the line did not show them. A reader held up
// for longer than a gap sees two frames as one.
inline std::optional<std::vector<double>> StepLateness(const LineSeen& line,
                                                       const Expected& expected) {
  if (line.frames.size() != expected.lengths.size()) {
    return std::nullopt;
  }
  std::vector<double> lateMs;
  for (std::size_t i = 0; i < line.frames.size(); ++i) {
    if (line.frames[i].bytes != expected.lengths[i]) {
      return std::nullopt;
    }
    if (i > 0) {
      const auto gap = line.frames[i].start - line.frames[i - 1].start;
      lateMs.push_back(std::chrono::duration<double, std::milli>(gap - expected.gaps[i]).count());
    }
  }
  return lateMs;
}

// One thread waiting on every master at once.
class FarSideReader {
 public:
  static constexpr int PRIORITY = 50;

  // Bytes further apart than `quiet` begin a new frame (a frame's bytes come within
  // microseconds of each other), and so does a byte after a frame of its planned length. A line
  // is complete once its last planned frame has begun.
  FarSideReader(const std::vector<std::unique_ptr<Pty>>& ptys, std::vector<std::uint32_t> lengths,
                std::chrono::nanoseconds quiet)
      : lines_(ptys.size()),
        lengths_(std::move(lengths)),
        quiet_(quiet),
        epoll_(epoll_create1(EPOLL_CLOEXEC)) {
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

 private:
  void Loop() {
    sched_param param{};
    param.sched_priority = PRIORITY;
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

  // A frame begins after a quiet gap, or where the one before has its planned length: two
  // frames written closer together than the gap are still told apart.
  void Account(LineSeen& line, Clock::time_point now, const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (line.frames.empty() || now - line.last > quiet_ || FrameFull(line)) {
        line.frames.push_back({now, 0});
        if (line.frames.size() == lengths_.size()) {
          ++complete_;
        }
      }
      ++line.frames.back().bytes;
      line.last = now;
      line.hash = (line.hash ^ bytes[i]) * 1099511628211ull;
    }
  }

  bool FrameFull(const LineSeen& line) const {
    const std::size_t index = line.frames.size() - 1;
    return index < lengths_.size() && line.frames.back().bytes >= lengths_[index];
  }

  std::vector<LineSeen> lines_;
  std::vector<std::uint32_t> lengths_;
  std::vector<int> fds_;
  std::chrono::nanoseconds quiet_;
  int epoll_;
  std::atomic<std::size_t> complete_{0};
  std::atomic<bool> stop_{false};
  bool realTime_ = false;
  double cpuS_ = 0;
  std::thread thread_;
};

}  // namespace tarvex::bench
