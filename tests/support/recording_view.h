// A JobView for tests: records every call in order, answers questions from a scripted queue,
// and lets a test wait (with a generous time-out) until the calls show what it expects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/job_view.h"

namespace tarvex::test {

struct ViewCall {
  enum class Kind {
    Status,
    ProgressRange,
    ProgressPos,
    Enable,
    DownloadText,
    Message,
    Question,
    Received,
  };
  Kind kind = Kind::Status;
  std::string text;         // Status, DownloadText, Message, Question
  int control = 0;          // Enable
  bool enable = false;      // Enable; the answer of a Question
  std::uint32_t low = 0;    // ProgressRange
  std::uint32_t value = 0;  // ProgressRange high bound, ProgressPos position
  bool operator==(const ViewCall&) const = default;

  static ViewCall Status(std::string text);
  static ViewCall ProgressRange(std::uint32_t low, std::uint32_t high);
  static ViewCall ProgressPos(std::uint32_t pos);
  static ViewCall Enable(int control, bool enable);
  static ViewCall DownloadText(std::string text);
  static ViewCall Message(std::string text);
  static ViewCall Question(std::string text, bool answer);
  static ViewCall Received();
};

using ViewCalls = std::vector<ViewCall>;

class RecordingView : public JobView {
 public:
  static constexpr std::chrono::milliseconds WAIT_LIMIT{20000};

  void SetStatusText(const std::string& utf8) override;
  void SetProgressRange(std::uint32_t low, std::uint32_t high) override;
  void SetProgressPos(std::uint32_t pos) override;
  void EnableControl(int id, bool enable) override;
  void SetDownloadText(const std::string& utf8) override;
  void ShowMessage(const std::string& utf8) override;
  // The next queued answer; Cancel (false) when the queue is empty.
  bool AskOkCancel(const std::string& utf8) override;
  void NotifyReceived() override;

  void QueueAnswer(bool ok);
  // Runs after each call is recorded, on the calling thread, without the view's lock.
  void SetHook(std::function<void(const ViewCall&)> hook);

  ViewCalls Calls() const;
  // Waits until `done` holds for the calls so far; false at the time-out.
  bool WaitUntil(const std::function<bool(const ViewCalls&)>& done,
                 std::chrono::milliseconds timeout = WAIT_LIMIT) const;
  bool WaitForStatus(const std::string& text) const;
  bool WaitForMessage(const std::string& text) const;

 private:
  void Record(ViewCall call);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  ViewCalls calls_;
  std::deque<bool> answers_;
  std::function<void(const ViewCall&)> hook_;
};

// Views of a list of calls.
std::vector<std::string> Texts(const ViewCalls& calls, ViewCall::Kind kind);
std::vector<std::uint32_t> ProgressPositions(const ViewCalls& calls);
ViewCalls ControlCalls(const ViewCalls& calls);  // Enable and DownloadText, in order
std::size_t CountOf(const ViewCalls& calls, ViewCall::Kind kind, const std::string& text = {});

// The window as the calls left it, starting from the idle window with an image opened.
struct WindowState {
  bool downloadEnabled = true;
  bool quitEnabled = true;
  bool portListEnabled = true;
  std::string downloadText = "Download";
  bool Idle() const {
    return downloadEnabled && quitEnabled && portListEnabled && downloadText == "Download";
  }
  bool Downloading() const {
    return downloadEnabled && !quitEnabled && !portListEnabled && downloadText == "Cancel";
  }
};
WindowState WindowAfter(const ViewCalls& calls);

}  // namespace tarvex::test
