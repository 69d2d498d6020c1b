#include "sim/settings_attribution.h"

namespace tarvex {

void SettingsAttribution::Bytes(std::span<const std::uint8_t> bytes) {
  Release(false);
  held_ = AttributedBytes{
      {bytes.begin(), bytes.end()}, emptySinceChange_ ? settings_ : LineSettings{}, std::nullopt};
}

void SettingsAttribution::Changed(const LineSettings& now) {
  Release(true);
  settings_ = now;
  emptySinceChange_ = false;
}

void SettingsAttribution::Empty(std::chrono::steady_clock::time_point now) {
  Release(false);
  emptySinceChange_ = true;
  lastEmpty_ = now;
}

std::optional<AttributedBytes> SettingsAttribution::Take() {
  if (decided_.empty()) {
    return std::nullopt;
  }
  AttributedBytes oldest = std::move(decided_.front());
  decided_.pop_front();
  return oldest;
}

void SettingsAttribution::Release(bool straddles) {
  if (!held_) {
    return;
  }
  if (straddles) {
    held_->settings = {};
  }
  if (held_->settings.baud == 0) {
    held_->writtenFrom = lastEmpty_;
  }
  decided_.push_back(std::move(*held_));
  held_.reset();
}

}  // namespace tarvex
