#include "protocol/null_port_backend.h"

namespace tarvex {

bool NullPortBackend::Open(const std::string& /*portName*/, const LineSettings& settings) {
  std::lock_guard lock(mutex_);
  settings_ = settings;
  cancelled_.Reset();
  return true;
}

HandOver NullPortBackend::StartWrite(const std::uint8_t* /*bytes*/, std::uint32_t length,
                                     Clock::time_point /*deadline*/) {
  std::lock_guard lock(mutex_);
  wireTime_ += WireTime(settings_, length);
  return HandOver{length, WaitEnd::Done};
}

PortEvent NullPortBackend::WaitEvent() {
  cancelled_.Wait();
  return PortEvent::Cancelled;
}

void NullPortBackend::CancelWaits() {
  cancelled_.Set();
}

std::chrono::microseconds NullPortBackend::WireTimeSum() const {
  std::lock_guard lock(mutex_);
  return wireTime_;
}

}  // namespace tarvex
