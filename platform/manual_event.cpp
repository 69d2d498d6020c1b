#include "platform/manual_event.h"

#include <algorithm>

namespace tarvex {

bool ManualEvent::WaitFor(std::chrono::nanoseconds timeout) {
  // Adding a near-infinite duration to the clock's now() would overflow.
  constexpr std::chrono::nanoseconds LONGEST_WAIT = std::chrono::hours{24 * 365};
  return WaitUntil(std::chrono::steady_clock::now() + std::min(timeout, LONGEST_WAIT));
}

}  // namespace tarvex
