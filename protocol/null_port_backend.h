// A line that writes nothing: every write "takes" its wire time at the settings in force, and
// that time is only added up. Lets the real sequencer run a download in no time. Used by the one
// thread that runs the download (only CancelWaits may come from another), so it takes no lock.
#pragma once

#include <chrono>

#include "link/port_backend.h"
#include "platform/manual_event.h"

namespace tarvex {

class NullPortBackend : public PortBackend {
 public:
  std::string DeviceFor(const std::string& portName) const override { return portName; }
  bool Open(const std::string& portName, const LineSettings& settings) override;
  HandOver StartWrite(const std::uint8_t* bytes, std::uint32_t length,
                      Clock::time_point deadline) override;
  std::int64_t OutputQueued() override { return 0; }
  void DiscardOutput() override {}
  // The wire time is only added up: no write takes any time here.
  bool SleepUntil(Clock::time_point /*until*/) override { return !cancelled_.IsSet(); }
  std::int64_t BytesWaiting() override { return 0; }
  PortEvent WaitEvent() override;
  void CancelWaits() override;
  void Close() override {}
  OsError LastError() const override { return {}; }

  // Wire time of every write so far.
  std::chrono::microseconds WireTimeSum() const;

 private:
  LineSettings settings_;
  std::chrono::microseconds wireTime_{0};
  ManualEvent cancelled_{false};
};

}  // namespace tarvex
