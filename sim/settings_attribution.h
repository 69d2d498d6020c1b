// Which line settings the bytes read from a pseudo-terminal's master were written at.
//
// In packet mode the master hears of every change of the slave's settings, but out of band: the
// kernel reports a change ahead of any bytes still unread, including those written before it, so
// reading the settings when bytes arrive can give the next re-open's. A write and a change of
// settings never overlap, and every read looks for a reported change before it takes bytes. Hence
// bytes have known settings when no change was reported from the last time the line was found
// empty until the read after theirs; any other bytes may straddle a change, and their settings are
// given as unknown (baud 0) rather than guessed.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "protocol/line_settings.h"

namespace tarvex {

struct AttributedBytes {
  std::vector<std::uint8_t> bytes;
  LineSettings settings;  // baud 0: unknown
  // With unknown settings the bytes may also have waited unread: the line was last found empty
  // then, and they were written since.
  std::optional<std::chrono::steady_clock::time_point> writtenFrom;
};

class SettingsAttribution {
 public:
  // Feed every read of the master, in order.
  void Bytes(std::span<const std::uint8_t> bytes);
  // A change was reported; `now` are the settings read after it (baud 0 when they cannot be read,
  // or when later changes would not be reported).
  void Changed(const LineSettings& now);
  // A read at `now` found nothing waiting, and no change.
  void Empty(std::chrono::steady_clock::time_point now);

  // Bytes whose settings are decided, oldest first.
  std::optional<AttributedBytes> Take();
  bool Ready() const { return !decided_.empty(); }

 private:
  void Release(bool straddles);

  LineSettings settings_{};  // since the last change reported
  bool emptySinceChange_ = false;
  std::chrono::steady_clock::time_point lastEmpty_{};  // the clock's start: never found empty
  // Read, but a change reported by the next read would mean they may straddle it.
  std::optional<AttributedBytes> held_;
  std::deque<AttributedBytes> decided_;
};

}  // namespace tarvex
