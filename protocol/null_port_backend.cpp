#include "protocol/null_port_backend.h"

namespace tarvex {

bool NullPortBackend::Open(const std::string& /*portName*/, const LineSettings& settings) {
  settings_ = settings;
  cancelled_.Reset();
  return true;
}

HandOver NullPortBackend::StartWrite(const std::uint8_t* /*bytes*/, std::uint32_t length,
                                     Clock::time_point /*deadline*/) {
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
  return wireTime_;
}

}  // namespace tarvex
