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

void ConsoleJobView::Status(std::string_view utf8) {
  Update([&](JobSnapshot& s) {
    if (s.statusHistory.empty() || s.statusHistory.back() != utf8) {
      s.statusHistory.emplace_back(utf8);
    }
    s.status = utf8;
  });
}

void ConsoleJobView::ProgressRange(std::uint32_t high) {
  Update([&](JobSnapshot& s) { s.progressHigh = high; });
}

void ConsoleJobView::Progress(std::uint32_t pos) {
  Update([&](JobSnapshot& s) { s.progressPos = pos; });
}

void ConsoleJobView::Message(std::string_view utf8) {
  Update([&](JobSnapshot& s) { s.messages.emplace_back(utf8); });
}

JobSnapshot ConsoleJobView::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

}  // namespace tarvex::cli
