#include "sim/fixture_report.h"

#include <fmt/format.h>

#include <ostream>
#include <string_view>

#include "tools/intel_hex.h"

namespace tarvex {

namespace {

// The lines of one exchange, each after `indent`: what a test code alone brought, or what a
// download brought and how far it got.
std::string DescribeExchange(const ExchangeVerdict& exchange, const std::string& indent) {
  std::string text;
  const auto line = [&](std::string_view label, const std::string& value) {
    text += fmt::format("{}{:<16}{}\n", indent, std::string(label) + ":", value);
  };
  if (exchange.kind != ExchangeKind::TestCode) {
    line("Model", exchange.model ? exchange.modelText : "(none)");
    line("Wake-up", exchange.wakeSeen ? "yes" : "no");
    line("Payload length",
         exchange.announcedSize ? fmt::format("{} bytes", *exchange.announcedSize) : "(none)");
    line("Blocks", std::to_string(exchange.blocks));
  }
  if (exchange.testCodes != 0) {
    line("Test codes", std::to_string(exchange.testCodes));
  }
  if (exchange.kind != ExchangeKind::TestCode) {
    line("Received",
         fmt::format("{} bytes in {} segment(s)", exchange.totalBytes, exchange.segments.size()));
    for (const MemorySegment& segment : exchange.segments) {
      text += fmt::format("{}  0x{:08X}  {} bytes\n", indent, segment.address, segment.length);
    }
  }
  if (!exchange.faults.empty()) {
    text += indent + "Faults:\n";
    for (const FixtureFault& fault : exchange.faults) {
      text += fmt::format("{}  +{:.3f} s  {}\n", indent,
                          static_cast<double>(fault.at.count()) / 1e6, fault.text);
    }
  }
  return text;
}

}  // namespace

std::string DescribeVerdict(const FixtureVerdict& verdict) {
  std::string text;
  for (std::size_t i = 0; i < verdict.interrupted.size(); ++i) {
    text += fmt::format("Interrupted download {} of {} (partial):\n", i + 1,
                        verdict.interrupted.size());
    text += DescribeExchange(verdict.interrupted[i], "  ");
  }
  text += DescribeExchange(verdict, "");
  if (verdict.Intact()) {
    text += "Verdict: received intact\n";
  } else if (verdict.TestCodeAlone()) {
    text += "Verdict: test code received\n";
  } else {
    text += fmt::format("Verdict: {} fault(s)\n", verdict.faults.size());
  }
  return text;
}

std::string DescribeProgress(const FixtureVerdict& verdict) {
  if (verdict.lineBytes == 0 && verdict.interrupted.empty()) {
    return "Listening: nothing received yet";
  }
  const std::string state = verdict.endSeen                          ? "Download over"
                            : verdict.kind == ExchangeKind::Download ? "Downloading"
                            : verdict.kind == ExchangeKind::TestCode ? "Test code"
                                                                     : "Receiving";
  std::string text =
      fmt::format("{}: {} frame(s), {} bytes", state, verdict.frames, verdict.lineBytes);
  if (verdict.lastFrame) {
    text += fmt::format(", last {}", FrameName(*verdict.lastFrame));
  }
  if (!verdict.interrupted.empty()) {
    text += fmt::format(" ({} interrupted before)", verdict.interrupted.size());
  }
  return text;
}

bool WriteIntelHex(const FixtureMemory& memory, std::ostream& out) {
  IntelHexWriter hex(out);
  for (const auto& [start, bytes] : memory.Ranges()) {
    if (!hex.Write(start, bytes)) {
      return false;
    }
  }
  hex.Finish();
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace tarvex
