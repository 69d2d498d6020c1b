// Polls a condition in short sleeps, for tests that wait on another thread or process.
#pragma once

#include <chrono>
#include <thread>

namespace tarvex::test {

// True once `done` holds; false when `limit` passes first.
template <typename Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds{5});
  }
  return true;
}

}  // namespace tarvex::test
