#include "tests/support/plan_runner.h"

#include <algorithm>

#include "protocol/texts.h"

namespace tarvex::test {

PlanAction PlanRunner::Carry() {
  if (hook_ && hookedAt_ != std::pair{writes_.size(), plan_.Retries()}) {
    hookedAt_ = std::pair{writes_.size(), plan_.Retries()};
    hook_(writes_.size(), plan_.Retries());
  }
  const PlanAction action = plan_.Next(now_);
  actions_.push_back(action);
  switch (action.kind) {
    case PlanAction::Kind::Open:
    case PlanAction::Kind::Reopen: {
      const bool ok = failingOpen_ != opens_.size();
      opens_.push_back(MakeLineSettings(action.line.baud, action.line.parity));
      line_ = opens_.back();
      plan_.Opened(ok);
      break;
    }
    case PlanAction::Kind::Wait:
      now_ = std::max(now_, action.until);
      break;
    case PlanAction::Kind::Write: {
      const Frame& frame = plan_.FrameToWrite();
      PlanWrite write;
      if (frame.size() == action.length) {
        write.bytes.assign(frame.bytes().begin(), frame.bytes().end());
      }
      write.length = action.length;
      write.state = action.state;
      write.settings = line_;
      write.at = now_;
      write.status = statuses_.empty() ? std::string() : statuses_.back();
      std::uint32_t count = action.length;
      if (shortWrite_ && shortWrite_->first == writes_.size()) {
        count = shortWrite_->second;
      }
      writes_.push_back(std::move(write));
      now_ += WireTime(line_, count);
      plan_.Written(count, now_);
      break;
    }
    case PlanAction::Kind::Status:
      statuses_.emplace_back(action.text);
      break;
    case PlanAction::Kind::Segment:
      statuses_.push_back(SegmentText(action.value, action.count));
      break;
    default:
      break;
  }
  return action;
}

PlanAction PlanRunner::Run(std::size_t actionsMax) {
  PlanAction action;
  for (std::size_t i = 0; i < actionsMax; ++i) {
    action = Carry();
    if (action.kind == PlanAction::Kind::Finished) {
      break;
    }
  }
  return action;
}

void PlanRunner::RunUntilState(DownloadState state) {
  for (int i = 0; i < 100000 && plan_.State() != state; ++i) {
    if (Carry().kind == PlanAction::Kind::Finished) {
      return;
    }
  }
}

PlanAction PlanRunner::Stop() {
  plan_.Stop();
  return Carry();
}

std::vector<std::uint32_t> PlanRunner::Progress() const {
  std::vector<std::uint32_t> positions;
  for (const PlanAction& action : actions_) {
    if (action.kind == PlanAction::Kind::Progress) {
      positions.push_back(action.value);
    }
  }
  return positions;
}

}  // namespace tarvex::test
