// A JobView for tests: records every event in order and lets a test wait (with a generous
// time-out) until the events show what it expects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/job_view.h"

namespace tarvex::test {

struct ViewCall {
  enum class Kind {
    Started,
    Status,
    ProgressRange,
    ProgressPos,
    Message,
    Closing,
    Ended,
    Received,
  };
  Kind kind = Kind::Status;
  std::string text;                       // Status, Message; Ended: the reason
  JobKind job = JobKind::Download;        // Started, Closing, Ended
  JobOutcome outcome = JobOutcome::None;  // Ended
  std::uint32_t value = 0;                // ProgressRange high bound, ProgressPos position
  bool operator==(const ViewCall&) const = default;

  static ViewCall Started(JobKind job);
  static ViewCall Status(std::string text);
  static ViewCall ProgressRange(std::uint32_t high);
  static ViewCall ProgressPos(std::uint32_t pos);
  static ViewCall Message(std::string text);
  static ViewCall Closing(JobKind job);
  static ViewCall Ended(JobKind job, JobOutcome outcome, std::string reason = {});
  static ViewCall Received();
};

using ViewCalls = std::vector<ViewCall>;

class RecordingView : public JobView {
 public:
  static constexpr std::chrono::milliseconds WAIT_LIMIT{20000};

  void Started(JobKind kind) override;
  void Status(std::string_view utf8) override;
  void ProgressRange(std::uint32_t high) override;
  void Progress(std::uint32_t pos) override;
  void Message(std::string_view utf8) override;
  void Closing(JobKind kind) override;
  void Ended(JobKind kind, JobOutcome outcome, const std::string& reason) override;
  void Received() override;

  // Runs after each event is recorded, on the calling thread, without the view's lock.
  void SetHook(std::function<void(const ViewCall&)> hook);

  ViewCalls Calls() const;
  // Waits until `done` holds for the events so far; false at the time-out.
  bool WaitUntil(const std::function<bool(const ViewCalls&)>& done,
                 std::chrono::milliseconds timeout = WAIT_LIMIT) const;
  bool WaitForStatus(const std::string& text) const;
  bool WaitForMessage(const std::string& text) const;

 private:
  void Record(ViewCall call);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  ViewCalls calls_;
  std::function<void(const ViewCall&)> hook_;
};

// Views of a list of events.
std::vector<std::string> Texts(const ViewCalls& calls, ViewCall::Kind kind);
std::vector<std::uint32_t> ProgressPositions(const ViewCalls& calls);
ViewCalls LifeCalls(const ViewCalls& calls);  // Started, Closing and Ended, in order
std::size_t CountOf(const ViewCalls& calls, ViewCall::Kind kind, const std::string& text = {});
// No run is under way: every Started was followed by an Ended.
bool JobEnded(const ViewCalls& calls);

}  // namespace tarvex::test
