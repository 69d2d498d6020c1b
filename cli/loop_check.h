// loopcheck's judgement of one line setting: what was sent through one port, what the port wired
// to it received, and when; a verdict line such as "100000 8E1: OK, ...". Pure, so that each
// judgement can be tested without a port.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_reader.h"
#include "protocol/line_settings.h"

namespace tarvex::cli {

using LoopClock = std::chrono::steady_clock;

struct LoopArrival {
  LoopClock::time_point at;
  std::size_t total = 0;  // bytes received up to and with this read
};

struct LoopSample {
  LineSettings settings;
  std::string failure;  // the port could not be opened or written; empty otherwise
  std::vector<std::uint8_t> sent;
  ReceivedBytes received;
  std::vector<LoopArrival> arrivals;
  bool checksLine = true;                 // false on a pseudo-terminal
  std::optional<LineErrorCounts> counts;  // the receiver driver's, when it keeps them
};

struct RateEstimate {
  double bitsPerSecond = 0;
  double uncertaintyPercent = 0;  // either way
};

// The speed the bytes came at, from the span between the first and the last read and the bits
// each character takes at these settings; empty when the reads came in too few pieces or too
// short a time to tell. The uncertainty is the longest pause between two reads over the span.
std::optional<RateEstimate> EstimateRate(const std::vector<LoopArrival>& arrivals,
                                         const LineSettings& settings);

struct LoopVerdict {
  bool ok = false;
  std::string line;  // without '\n'
};

LoopVerdict JudgeLoop(const LoopSample& sample);

// The bytes sent at each setting: every byte value, in a run that takes about `duration` on the
// line at `settings`.
std::vector<std::uint8_t> LoopPattern(const LineSettings& settings,
                                      std::chrono::milliseconds duration);

}  // namespace tarvex::cli
