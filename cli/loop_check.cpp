#include "cli/loop_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace tarvex::cli {

namespace {

// A UART takes bytes a little off its own speed; beyond this the far end starts to misread.
constexpr double RATE_TOLERANCE_PERCENT = 2.0;
constexpr std::size_t MIN_READS = 3;  // for a span worth measuring
constexpr std::chrono::milliseconds MIN_SPAN{100};

std::string ContentText(const LoopSample& sample, bool& ok) {
  const std::vector<std::uint8_t>& got = sample.received.bytes;
  const std::size_t common = std::min(got.size(), sample.sent.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < common; ++i) {
    differing += got[i] != sample.sent[i] ? 1 : 0;
  }
  std::string text;
  if (differing == 0 && got.size() == sample.sent.size()) {
    text = fmt::format("{} bytes intact", got.size());
  } else {
    ok = false;
    text = fmt::format("{} of {} bytes came", got.size(), sample.sent.size());
    if (differing != 0) {
      text += fmt::format(", {} of them changed", differing);
    }
  }
  if (!sample.received.marked.empty()) {
    ok = false;
    text += fmt::format(", {} with a framing or parity error", sample.received.marked.size());
  }
  return text;
}

std::string CountsText(const std::optional<LineErrorCounts>& counts, bool& ok) {
  if (!counts) {
    return {};
  }
  if (counts->Total() == 0) {
    return ", no line errors";
  }
  ok = false;
  return ", line errors: " + Describe(*counts);
}

std::string RateText(const LoopSample& sample, bool& ok) {
  if (!sample.checksLine) {
    return "; speed, parity and stop bits not measurable on a pseudo-terminal";
  }
  const std::optional<RateEstimate> rate = EstimateRate(sample.arrivals, sample.settings);
  if (!rate) {
    return "; speed not measurable (the bytes came in too few reads)";
  }
  const double expected = sample.settings.baud;
  const double offPercent = std::abs(rate->bitsPerSecond - expected) / expected * 100;
  const std::string measured =
      fmt::format("{:.0f} bit/s \u00b1 {:.1f} %", rate->bitsPerSecond, rate->uncertaintyPercent);
  if (offPercent - rate->uncertaintyPercent > RATE_TOLERANCE_PERCENT) {
    ok = false;
    return "; adapter gave " + measured;
  }
  return "; " + measured;
}

}  // namespace

std::optional<RateEstimate> EstimateRate(const std::vector<LoopArrival>& arrivals,
                                         const LineSettings& settings) {
  if (arrivals.size() < MIN_READS || settings.baud == 0) {
    return std::nullopt;
  }
  // The bytes of the first read had left before it; those after it came over the span.
  const auto span = arrivals.back().at - arrivals.front().at;
  if (span < MIN_SPAN) {
    return std::nullopt;
  }
  LoopClock::duration longestPause{0};
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    longestPause = std::max(longestPause, arrivals[i].at - arrivals[i - 1].at);
  }
  const double seconds = std::chrono::duration<double>(span).count();
  const double characters = static_cast<double>(arrivals.back().total - arrivals.front().total);
  return RateEstimate{characters * BitsPerCharacter(settings) / seconds,
                      std::chrono::duration<double>(longestPause).count() / seconds * 100};
}

LoopVerdict JudgeLoop(const LoopSample& sample) {
  const std::string name = Describe(sample.settings);
  if (!sample.failure.empty()) {
    return {false, name + ": FAILED, " + sample.failure};
  }
  bool ok = true;
  std::string details = ContentText(sample, ok);
  details += CountsText(sample.counts, ok);
  details += RateText(sample, ok);
  return {ok, name + (ok ? ": OK, " : ": FAILED, ") + details};
}

std::vector<std::uint8_t> LoopPattern(const LineSettings& settings,
                                      std::chrono::milliseconds duration) {
  const std::uint64_t characters = std::uint64_t{settings.baud} *
                                   static_cast<std::uint64_t>(duration.count()) /
                                   (1000 * std::uint64_t{BitsPerCharacter(settings)});
  std::vector<std::uint8_t> bytes(std::max<std::uint64_t>(characters, 256));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

}  // namespace tarvex::cli
