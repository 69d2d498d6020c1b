#include "tests/support/recording_view.h"

#include <algorithm>

namespace tarvex::test {

namespace {

ViewCall Make(ViewCall::Kind kind) {
  ViewCall call;
  call.kind = kind;
  return call;
}

ViewCall WithText(ViewCall::Kind kind, std::string text) {
  ViewCall call = Make(kind);
  call.text = std::move(text);
  return call;
}

ViewCall WithJob(ViewCall::Kind kind, JobKind job) {
  ViewCall call = Make(kind);
  call.job = job;
  return call;
}

ViewCall WithValue(ViewCall::Kind kind, std::uint32_t value) {
  ViewCall call = Make(kind);
  call.value = value;
  return call;
}

}  // namespace

ViewCall ViewCall::Started(JobKind job) {
  return WithJob(Kind::Started, job);
}

ViewCall ViewCall::Status(std::string text) {
  return WithText(Kind::Status, std::move(text));
}

ViewCall ViewCall::ProgressRange(std::uint32_t high) {
  return WithValue(Kind::ProgressRange, high);
}

ViewCall ViewCall::ProgressPos(std::uint32_t pos) {
  return WithValue(Kind::ProgressPos, pos);
}

ViewCall ViewCall::Message(std::string text) {
  return WithText(Kind::Message, std::move(text));
}

ViewCall ViewCall::Closing(JobKind job) {
  return WithJob(Kind::Closing, job);
}

ViewCall ViewCall::Ended(JobKind job, JobOutcome outcome, std::string reason) {
  ViewCall call = WithJob(Kind::Ended, job);
  call.outcome = outcome;
  call.text = std::move(reason);
  return call;
}

ViewCall ViewCall::Received() {
  return Make(Kind::Received);
}

void RecordingView::Started(JobKind kind) {
  Record(ViewCall::Started(kind));
}

void RecordingView::Status(std::string_view utf8) {
  Record(ViewCall::Status(std::string(utf8)));
}

void RecordingView::ProgressRange(std::uint32_t high) {
  Record(ViewCall::ProgressRange(high));
}

void RecordingView::Progress(std::uint32_t pos) {
  Record(ViewCall::ProgressPos(pos));
}

void RecordingView::Message(std::string_view utf8) {
  Record(ViewCall::Message(std::string(utf8)));
}

void RecordingView::Closing(JobKind kind) {
  Record(ViewCall::Closing(kind));
}

void RecordingView::Ended(JobKind kind, JobOutcome outcome, const std::string& reason) {
  Record(ViewCall::Ended(kind, outcome, reason));
}

void RecordingView::Received() {
  Record(ViewCall::Received());
}

void RecordingView::SetHook(std::function<void(const ViewCall&)> hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void RecordingView::Record(ViewCall call) {
  std::function<void(const ViewCall&)> hook;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    hook = hook_;
  }
  changed_.notify_all();
  if (hook) {
    hook(call);
  }
}

ViewCalls RecordingView::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

bool RecordingView::WaitUntil(const std::function<bool(const ViewCalls&)>& done,
                              std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(calls_); });
}

bool RecordingView::WaitForStatus(const std::string& text) const {
  return WaitUntil(
      [&](const ViewCalls& calls) { return CountOf(calls, ViewCall::Kind::Status, text) > 0; });
}

bool RecordingView::WaitForMessage(const std::string& text) const {
  return WaitUntil(
      [&](const ViewCalls& calls) { return CountOf(calls, ViewCall::Kind::Message, text) > 0; });
}

std::vector<std::string> Texts(const ViewCalls& calls, ViewCall::Kind kind) {
  std::vector<std::string> texts;
  for (const ViewCall& call : calls) {
    if (call.kind == kind) {
      texts.push_back(call.text);
    }
  }
  return texts;
}

std::vector<std::uint32_t> ProgressPositions(const ViewCalls& calls) {
  std::vector<std::uint32_t> positions;
  for (const ViewCall& call : calls) {
    if (call.kind == ViewCall::Kind::ProgressPos) {
      positions.push_back(call.value);
    }
  }
  return positions;
}

ViewCalls LifeCalls(const ViewCalls& calls) {
  ViewCalls life;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(life), [](const ViewCall& c) {
    return c.kind == ViewCall::Kind::Started || c.kind == ViewCall::Kind::Closing ||
           c.kind == ViewCall::Kind::Ended;
  });
  return life;
}

std::size_t CountOf(const ViewCalls& calls, ViewCall::Kind kind, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const ViewCall& c) {
    return c.kind == kind && (text.empty() || c.text == text);
  }));
}

bool JobEnded(const ViewCalls& calls) {
  const ViewCalls life = LifeCalls(calls);
  return life.empty() || life.back().kind == ViewCall::Kind::Ended;
}

}  // namespace tarvex::test
