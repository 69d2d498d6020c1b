// The JobView of one port in the command-line tool: keeps what the job shows so that the display
// can draw it, and hands messages to the display. Called from the pacing worker and the watcher.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_view.h"

namespace tarvex::cli {

struct JobSnapshot {
  std::string status;
  std::vector<std::string> statusHistory;  // every distinct status in order, for plain output
  std::uint32_t progressHigh = 0;
  std::uint32_t progressPos = 0;
  std::vector<std::string> messages;  // message boxes shown so far
};

class ConsoleJobView : public JobView {
 public:
  // `onChange` runs after every change, on the calling thread; it must not call back into the view.
  explicit ConsoleJobView(std::function<void()> onChange = {});

  void Status(std::string_view utf8) override;
  void ProgressRange(std::uint32_t high) override;
  void Progress(std::uint32_t pos) override;
  // The command line never waits for the user: the message is kept for the display and the end.
  void Message(std::string_view utf8) override;

  JobSnapshot Snapshot() const;

 private:
  template <typename Change>
  void Update(Change change);

  mutable std::mutex mutex_;
  JobSnapshot snapshot_;
  std::function<void()> onChange_;
};

}  // namespace tarvex::cli
