// The JobView of one port in the command-line tool: keeps what the job shows so that the display
// can draw it, and hands messages to the display. Called from the pacing worker and the watcher.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/job_view.h"

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

  void SetStatusText(const std::string& utf8) override;
  void SetProgressRange(std::uint32_t low, std::uint32_t high) override;
  void SetProgressPos(std::uint32_t pos) override;
  void EnableControl(int id, bool enable) override;
  void SetDownloadText(const std::string& utf8) override;
  void ShowMessage(const std::string& utf8) override;
  // The command line never asks: stopping is Ctrl-C, which does not ask either.
  bool AskOkCancel(const std::string& utf8) override;
  void NotifyReceived() override;

  JobSnapshot Snapshot() const;

 private:
  template <typename Change>
  void Update(Change change);

  mutable std::mutex mutex_;
  JobSnapshot snapshot_;
  std::function<void()> onChange_;
};

}  // namespace tarvex::cli
