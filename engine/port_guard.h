// Who holds the port of one job. Every open, write and close goes through here under one
// mutex, and each run (a download or a test) holds the port under a ticket. Ending a run
// revokes its ticket at once, before the close waits for a write or re-open in progress: from
// that moment the run cannot re-open the port or write another byte, and the close that
// follows leaves the port closed with no watcher running.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "link/serial_link.h"
#include "platform/os_error.h"
#include "protocol/frames.h"
#include "protocol/job_outcome.h"
#include "protocol/line_settings.h"

namespace tarvex {

class PortGuard {
 public:
  using Ticket = std::uint64_t;
  static constexpr Ticket NO_TICKET = 0;

  enum class Reopen { Opened, Failed, Refused };

  struct Written {
    std::uint32_t count = 0;  // bytes the port took
    LineSettings settings;    // in force for the write
    // When the frame will have left the line; the port must stay open until then.
    SerialLink::Clock::time_point lineFree;
  };

  explicit PortGuard(SerialLink& link);

  // A new run takes the port: `running` = 1, then the open. NO_TICKET when the open failed:
  // `running` is 0 again, the outcome is OpenFailed and LastError() says why.
  Ticket Open(const std::string& portName, std::uint8_t parity, std::uint32_t baud);

  // The close sequence, then an open at other settings with `running` = 1. On failure the port
  // stays closed with `running` 0. Refused when the run no longer holds it.
  Reopen ReopenPort(Ticket ticket, const std::string& portName, std::uint8_t parity,
                    std::uint32_t baud);

  // The whole frame as one write, returning once the driver's queue has drained, possibly before
  // the frame's wire time has passed (see Written::lineFree). Empty when the run no longer holds
  // the port (nothing was written); LastError() says why when the count fell short.
  std::optional<Written> Write(Ticket ticket, const Frame& frame);

  // The close sequence, while the run still holds the port (it keeps holding it, closed).
  void ClosePort(Ticket ticket);

  // Records how the run ends; the first record wins. False when the run has ended already.
  bool Settle(Ticket ticket, JobOutcome outcome);

  // The run gives up the port: its ticket is revoked, its outcome becomes final (`unsettled`
  // when nothing was recorded before), and the close sequence runs once a write or re-open in
  // progress has returned. Returns with the port closed; false when the run had been ended
  // before.
  bool End(Ticket ticket, JobOutcome unsettled);

  bool Holds(Ticket ticket) const;  // the run may still use the port
  bool Busy() const;                // a run holds the port, or is still giving it up
  JobOutcome Outcome() const;       // of the last run; None while Busy()
  OsError LastError() const;        // of the last failed open or write of the last run

 private:
  bool HoldsLocked(Ticket ticket) const {
    return ticket != NO_TICKET && ticket == holder_ && !revoked_;
  }
  void KeepError(const OsError& error);

  SerialLink& link_;
  // Held across every open, write and close of the link. Taken before stateMutex_.
  mutable std::mutex portMutex_;
  mutable std::mutex stateMutex_;  // guards what follows; never held while the port is used
  Ticket holder_ = NO_TICKET;
  bool revoked_ = false;  // the holder is ending: its operations are refused
  Ticket lastTicket_ = NO_TICKET;
  JobOutcome outcome_ = JobOutcome::None;
  OsError lastError_;
};

}  // namespace tarvex
