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

}  // namespace

ViewCall ViewCall::Status(std::string text) {
  return WithText(Kind::Status, std::move(text));
}

ViewCall ViewCall::ProgressRange(std::uint32_t low, std::uint32_t high) {
  ViewCall call = Make(Kind::ProgressRange);
  call.low = low;
  call.value = high;
  return call;
}

ViewCall ViewCall::ProgressPos(std::uint32_t pos) {
  ViewCall call = Make(Kind::ProgressPos);
  call.value = pos;
  return call;
}

ViewCall ViewCall::Enable(int control, bool enable) {
  ViewCall call = Make(Kind::Enable);
  call.control = control;
  call.enable = enable;
  return call;
}

ViewCall ViewCall::DownloadText(std::string text) {
  return WithText(Kind::DownloadText, std::move(text));
}

ViewCall ViewCall::Message(std::string text) {
  return WithText(Kind::Message, std::move(text));
}

ViewCall ViewCall::Question(std::string text, bool answer) {
  ViewCall call = WithText(Kind::Question, std::move(text));
  call.enable = answer;
  return call;
}

ViewCall ViewCall::Received() {
  return Make(Kind::Received);
}

void RecordingView::SetStatusText(const std::string& utf8) {
  Record(ViewCall::Status(utf8));
}

void RecordingView::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  Record(ViewCall::ProgressRange(low, high));
}

void RecordingView::SetProgressPos(std::uint32_t pos) {
  Record(ViewCall::ProgressPos(pos));
}

void RecordingView::EnableControl(int id, bool enable) {
  Record(ViewCall::Enable(id, enable));
}

void RecordingView::SetDownloadText(const std::string& utf8) {
  Record(ViewCall::DownloadText(utf8));
}

void RecordingView::ShowMessage(const std::string& utf8) {
  Record(ViewCall::Message(utf8));
}

bool RecordingView::AskOkCancel(const std::string& utf8) {
  bool answer = false;
  {
    std::lock_guard lock(mutex_);
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  Record(ViewCall::Question(utf8, answer));
  return answer;
}

void RecordingView::NotifyReceived() {
  Record(ViewCall::Received());
}

void RecordingView::QueueAnswer(bool ok) {
  std::lock_guard lock(mutex_);
  answers_.push_back(ok);
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

ViewCalls ControlCalls(const ViewCalls& calls) {
  ViewCalls controls;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(controls), [](const ViewCall& c) {
    return c.kind == ViewCall::Kind::Enable || c.kind == ViewCall::Kind::DownloadText;
  });
  return controls;
}

std::size_t CountOf(const ViewCalls& calls, ViewCall::Kind kind, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const ViewCall& c) {
    return c.kind == kind && (text.empty() || c.text == text);
  }));
}

WindowState WindowAfter(const ViewCalls& calls) {
  WindowState window;
  for (const ViewCall& call : calls) {
    if (call.kind == ViewCall::Kind::DownloadText) {
      window.downloadText = call.text;
    } else if (call.kind == ViewCall::Kind::Enable) {
      switch (call.control) {
        case ID_DOWNLOAD:
          window.downloadEnabled = call.enable;
          break;
        case ID_QUIT:
          window.quitEnabled = call.enable;
          break;
        case ID_PORT_LIST:
          window.portListEnabled = call.enable;
          break;
        default:
          break;
      }
    }
  }
  return window;
}

}  // namespace tarvex::test
