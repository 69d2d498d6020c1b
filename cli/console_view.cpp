#include "cli/console_view.h"

#include <utility>

namespace tarvex::cli {

ConsoleJobView::ConsoleJobView(std::function<void()> onChange) : onChange_(std::move(onChange)) {}

template <typename Change>
void ConsoleJobView::Update(Change change) {
  {
    std::lock_guard lock(mutex_);
    change(snapshot_);
  }
  if (onChange_) {
    onChange_();
  }
}

void ConsoleJobView::SetStatusText(const std::string& utf8) {
  Update([&](JobSnapshot& s) {
    if (s.statusHistory.empty() || s.statusHistory.back() != utf8) {
      s.statusHistory.push_back(utf8);
    }
    s.status = utf8;
  });
}

void ConsoleJobView::SetProgressRange(std::uint32_t /*low*/, std::uint32_t high) {
  Update([&](JobSnapshot& s) { s.progressHigh = high; });
}

void ConsoleJobView::SetProgressPos(std::uint32_t pos) {
  Update([&](JobSnapshot& s) { s.progressPos = pos; });
}

// Buttons and the port list exist only in the window.
void ConsoleJobView::EnableControl(int /*id*/, bool /*enable*/) {}
void ConsoleJobView::SetDownloadText(const std::string& /*utf8*/) {}

void ConsoleJobView::ShowMessage(const std::string& utf8) {
  Update([&](JobSnapshot& s) { s.messages.push_back(utf8); });
}

bool ConsoleJobView::AskOkCancel(const std::string& /*utf8*/) {
  return true;
}

// The line is write-only: bytes from the fixture are noticed and otherwise left alone.
void ConsoleJobView::NotifyReceived() {}

JobSnapshot ConsoleJobView::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

}  // namespace tarvex::cli
