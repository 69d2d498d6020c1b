// The gate that carries worker calls to the UI thread: a call waits until the UI thread has run
// it, and a stop releases every waiting worker without running its call.
#include "ui/call_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace tarvex {
namespace {

struct GateFixture {
  std::thread::id uiThread = std::this_thread::get_id();
  std::atomic<int> wakes{0};
  UiCallGate gate{{.wake = [this] { ++wakes; },
                   .onUiThread = [this] { return std::this_thread::get_id() == uiThread; }}};
};

TEST(UiCallGate, AWorkersCallRunsOnTheUiThreadAndTheWorkerWaitsForIt) {
  GateFixture f;
  std::atomic<bool> returned{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    f.gate.Call([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  while (f.wakes == 0) {
    std::this_thread::sleep_for(1ms);
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(returned);  // nothing served yet
  f.gate.RunPending();
  worker.join();
  EXPECT_EQ(ranOn, f.uiThread);
}

TEST(UiCallGate, StopReleasesAWaitingWorkerDropsItsCallAndRefusesLaterOnes) {
  GateFixture f;
  std::atomic<int> ran{0};
  std::thread waiting([&] { f.gate.Call([&] { ++ran; }); });
  while (f.wakes == 0) {
    std::this_thread::sleep_for(1ms);
  }
  f.gate.StopServing();
  waiting.join();  // released without being served
  std::thread late([&] { f.gate.Call([&] { ++ran; }); });
  late.join();  // returns at once while not serving
  f.gate.ResumeServing();
  f.gate.RunPending();
  EXPECT_EQ(ran, 0);            // calls made before or during the stop never run
  f.gate.Call([&] { ++ran; });  // the UI thread's own calls run at once
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace tarvex
