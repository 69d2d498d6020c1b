// What a well-behaved sender puts on the line for an image: each frame with the gap before it and
// the line settings it goes out at. Tests feed it to the fixture as it is, or spoil it first.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "protocol/frames.h"
#include "protocol/line_settings.h"
#include "sim/virtual_fixture.h"
#include "tests/support/image_builder.h"

namespace tarvex::test {

inline constexpr LineSettings SETTINGS_8E1{100000, PARITY_CODE_EVEN, 1};
inline constexpr LineSettings SETTINGS_8N2{250000, PARITY_CODE_NONE, 2};
inline constexpr LineSettings SETTINGS_8O1{115200, PARITY_CODE_ODD, 1};

struct Sent {
  std::string name;  // "BlockFrame", ...
  Bytes bytes;
  std::chrono::milliseconds gap{0};  // after the frame before
  LineSettings settings = SETTINGS_8O1;
};
using Script = std::vector<Sent>;

inline Sent Make(const Frame& frame, std::chrono::milliseconds gap,
                 LineSettings settings = SETTINGS_8O1) {
  return {std::string(frame.name()), Bytes(frame.bytes().begin(), frame.bytes().end()), gap,
          settings};
}

// The frames of a whole download of `plan`, at the pace a fixture needs, with or without the
// wake-up. Blocks follow the segment walk: 1024 bytes at most, an empty segment after the first
// one costs a block without data, an empty first segment none.
inline Script DownloadScript(const ImagePlan& plan, bool wake) {
  using std::chrono::milliseconds;
  const Bytes image = BuildImage(plan);
  ImageHeader header{};
  std::copy_n(image.begin(), header.size(), header.begin());
  Script script;
  if (wake) {
    script.push_back(Make(BreakByte(), milliseconds{0}, SETTINGS_8E1));
    script.push_back(Make(WakeFrame(), milliseconds{1000}, SETTINGS_8N2));
  }
  script.push_back(Make(AnnounceFrame(plan.model), milliseconds{wake ? 100 : 0}));
  script.push_back(Make(BlankFrame(), milliseconds{10000}));
  script.push_back(Make(ModelFrame(plan.model), milliseconds{1000}));
  script.push_back(Make(SizeFrame(header), milliseconds{20}));
  script.push_back(Make(StartFrame(), milliseconds{20}));
  auto dataGap = [&] { return milliseconds{script.back().name == "StartFrame" ? 20000 : 100}; };
  for (std::size_t row = 0; row < plan.segments.size(); ++row) {
    const SegmentPlan& segment = plan.segments[row];
    if (segment.data.empty() && row == 0) {
      continue;
    }
    std::size_t done = 0;
    do {
      const std::size_t length = std::min<std::size_t>(BLOCK_DATA_MAX, segment.data.size() - done);
      const Frame block = BlockFrame(static_cast<std::uint32_t>(segment.targetAddress + done),
                                     {segment.data.data() + done, length});
      script.push_back(Make(block, dataGap()));
      done += length;
    } while (done < segment.data.size());
  }
  script.push_back(Make(EndFrame(), dataGap()));
  return script;
}

inline std::size_t IndexOf(const Script& script, std::string_view name, std::size_t nth = 0) {
  for (std::size_t i = 0; i < script.size(); ++i) {
    if (script[i].name == name && nth-- == 0) {
      return i;
    }
  }
  return script.size();
}

// Feeds each frame as one chunk, `gap` after the frame before, scaled by `scale`.
inline void FeedScript(VirtualFixture& fixture, const Script& script, double scale = 1.0) {
  auto now = FixtureClock::time_point{} + std::chrono::hours{1};
  for (const Sent& sent : script) {
    now += std::chrono::duration_cast<FixtureClock::duration>(sent.gap * scale);
    fixture.Feed(sent.bytes, now, sent.settings);
  }
}

// Plays `script` into `port` as the sender does: each frame waits its (scaled) gap after the
// previous write has finished, and the port is re-opened half-way through that gap whenever the
// line settings change: a fixture can tell the settings of a frame read between two re-opens.
inline void PlayScript(const std::string& port, const Script& script, double scale) {
  SerialLink link(MakeNativePortBackend());
  std::optional<LineSettings> current;
  for (const Sent& sent : script) {
    std::this_thread::sleep_for(sent.gap * scale / 2);
    if (current != sent.settings) {
      link.CloseCommPort();
      ASSERT_TRUE(link.OpenCommPort(port, sent.settings.parity, sent.settings.baud))
          << link.LastError().Message();
      current = sent.settings;
    }
    std::this_thread::sleep_for(sent.gap * scale / 2);
    ASSERT_EQ(link.WriteComm(sent.bytes.data(), static_cast<std::uint32_t>(sent.bytes.size())),
              sent.bytes.size());
  }
  link.CloseCommPort();
}

}  // namespace tarvex::test
