#include "engine/port_guard.h"

#include <system_error>

namespace tarvex {

namespace {

// A write that fell short: the link's reason, with the count where nothing better explains it.
OsError ShortWriteError(const OsError& fromLink, std::uint32_t written, std::uint32_t length) {
  OsError error = fromLink ? fromLink : GenericError(std::errc::timed_out);
  if (error.hint.empty()) {
    error.hint = std::to_string(written) + " of " + std::to_string(length) + " bytes written";
  }
  return error;
}

}  // namespace

PortGuard::PortGuard(SerialLink& link) : link_(link) {}

PortGuard::Ticket PortGuard::Open(const std::string& portName, std::uint8_t parity,
                                  std::uint32_t baud) {
  std::lock_guard port(portMutex_);
  {
    std::lock_guard state(stateMutex_);
    holder_ = NO_TICKET;
    revoked_ = false;
    outcome_ = JobOutcome::None;
    lastError_ = OsError{};
  }
  link_.CloseCommPort();  // nothing is open unless a caller skipped Busy()
  link_.running() = 1;
  if (!link_.OpenCommPort(portName, parity, baud)) {
    link_.running() = 0;
    std::lock_guard state(stateMutex_);
    lastError_ = link_.LastError();
    outcome_ = JobOutcome::OpenFailed;
    return NO_TICKET;
  }
  std::lock_guard state(stateMutex_);
  holder_ = ++lastTicket_;
  return holder_;
}

PortGuard::Reopen PortGuard::ReopenPort(Ticket ticket, const std::string& portName,
                                        std::uint8_t parity, std::uint32_t baud) {
  std::lock_guard port(portMutex_);
  if (!Holds(ticket)) {
    return Reopen::Refused;
  }
  link_.CloseCommPort();
  // Set before the open, as the buttons do: a watcher that started before it would find 0 and
  // end at once, leaving the port unwatched.
  link_.running() = 1;
  if (!link_.OpenCommPort(portName, parity, baud)) {
    link_.running() = 0;
    KeepError(link_.LastError());
    return Reopen::Failed;
  }
  return Reopen::Opened;
}

std::optional<PortGuard::Written> PortGuard::Write(Ticket ticket, const Frame& frame) {
  std::lock_guard port(portMutex_);
  if (!Holds(ticket)) {
    return std::nullopt;
  }
  const SerialLink::Drained drained = link_.WriteDrained(frame.data(), frame.size());
  if (drained.count != frame.size()) {
    KeepError(ShortWriteError(link_.LastError(), drained.count, frame.size()));
  }
  return Written{drained.count, drained.settings, drained.lineFree};
}

void PortGuard::ClosePort(Ticket ticket) {
  std::lock_guard port(portMutex_);
  if (Holds(ticket)) {
    link_.CloseCommPort();
  }
}

bool PortGuard::Settle(Ticket ticket, JobOutcome outcome) {
  std::lock_guard state(stateMutex_);
  if (!HoldsLocked(ticket)) {
    return false;
  }
  if (outcome_ == JobOutcome::None) {
    outcome_ = outcome;
  }
  return true;
}

bool PortGuard::End(Ticket ticket, JobOutcome unsettled) {
  bool first = false;
  {
    std::lock_guard state(stateMutex_);
    if (ticket == NO_TICKET || ticket != holder_) {
      return false;
    }
    first = !revoked_;
    revoked_ = true;
    if (outcome_ == JobOutcome::None) {
      outcome_ = unsettled;
    }
  }
  // A write or re-open in progress holds the port's mutex: cut its waits short rather than let
  // the user wait for a stalled line's write time-out.
  if (first) {
    link_.InterruptIo();
  }
  // A second caller only waits for the first one's close.
  std::lock_guard port(portMutex_);
  if (first) {
    link_.CloseCommPort();
    std::lock_guard state(stateMutex_);
    holder_ = NO_TICKET;
    revoked_ = false;
  }
  return first;
}

bool PortGuard::Holds(Ticket ticket) const {
  std::lock_guard state(stateMutex_);
  return HoldsLocked(ticket);
}

bool PortGuard::Busy() const {
  std::lock_guard state(stateMutex_);
  return holder_ != NO_TICKET;
}

JobOutcome PortGuard::Outcome() const {
  std::lock_guard state(stateMutex_);
  return holder_ != NO_TICKET ? JobOutcome::None : outcome_;
}

OsError PortGuard::LastError() const {
  std::lock_guard state(stateMutex_);
  return lastError_;
}

void PortGuard::KeepError(const OsError& error) {
  std::lock_guard state(stateMutex_);
  lastError_ = error;
}

}  // namespace tarvex
