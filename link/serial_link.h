// One serial port at a time: open, write, the receive watcher and the close sequence.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "link/port_backend.h"
#include "platform/manual_event.h"
#include "platform/os_error.h"
#include "protocol/line_settings.h"

namespace tarvex {

class SerialLink {
 public:
  // Called from the watcher when received bytes are first seen; must never block.
  using ReceiveNotice = std::function<void()>;

  explicit SerialLink(std::unique_ptr<PortBackend> backend);
  ~SerialLink();  // runs the close sequence when a port is still open
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  void SetReceiveNotice(ReceiveNotice notice);

  // Opens and configures the port and starts its watcher. Does not touch `running`. On failure
  // no port is open, no watcher runs, and LastError() says why.
  bool OpenCommPort(const std::string& portName, std::uint8_t parity, std::uint32_t baud);

  using Clock = PortBackend::Clock;

  struct Drained {
    std::uint32_t count = 0;  // bytes that left (or will have left by lineFree)
    // When the last of them will have left the line: the later of the moment the driver's
    // queue was seen empty and the moment the driver took them plus their wire time (never past
    // the time-out).
    // Now when the write failed or was cancelled.
    Clock::time_point lineFree;
    LineSettings settings;  // they went out at
  };

  // Returns when the bytes have left the line (the driver's queue drained and at least their
  // wire time since the call) or at the write time-out (2000 ms + 50 ms per byte), with the
  // count that left; bytes still queued at the time-out are dropped, not counted.
  std::uint32_t WriteComm(const std::uint8_t* bytes, std::uint32_t length);

  // WriteComm() without its last sleep: returns once the driver's queue has drained (or at the
  // time-out), before the wire time may have passed. The caller keeps the port open and starts
  // nothing timed on the line before `lineFree`; a paced sender folds that moment into its own
  // deadline and so sleeps once per frame.
  Drained WriteDrained(const std::uint8_t* bytes, std::uint32_t length);

  // The close sequence: clear running, set the receive gate, end a pending wait, wait for the
  // watcher, forget it, close the port. Returns at once when nothing is open.
  void CloseCommPort();

  // The first steps of the close sequence (clear running, set the receive gate, end pending
  // waits), callable from any thread while another thread writes or re-opens: a write in
  // progress returns short at once and the watcher ends. The port stays open until
  // CloseCommPort(), which a caller must run next.
  void InterruptIo();

  std::atomic<std::uint32_t>& running() { return running_; }
  ManualEvent& receiveGate() { return receiveGate_; }

  bool IsOpen() const;
  LineSettings Settings() const;  // of the open port
  OsError LastError() const;      // of the last failed open or write
  PortBackend& backend() { return *backend_; }

  // The result of the latest watcher once it has ended (0 after `running` became 0, WATCH_FAILED
  // when the port failed); empty while it runs or before the first open.
  std::optional<std::uint32_t> WatcherResult() const;

  static constexpr std::uint32_t WATCH_FAILED = 0xFFFFFFFF;  // -1 as an unsigned thread result

 private:
  Drained WriteLocked(const std::uint8_t* bytes, std::uint32_t length);
  WaitEnd WaitDrained(const LineSettings& settings, Clock::time_point deadline);
  OsError WriteError(WaitEnd end) const;
  std::uint32_t CommWatchProc();
  void StopWaits();
  void Notify();
  void KeepError(const OsError& error);

  std::unique_ptr<PortBackend> backend_;
  std::atomic<std::uint32_t> running_{0};
  ManualEvent receiveGate_{true};

  // Serialises opens and closes: a close that lands during a re-open waits for it.
  std::mutex openCloseMutex_;
  // Held by a write in progress; the close takes it before the port goes, so a descriptor is
  // never closed under a write. The close cancels the write's waits first, so it does not wait
  // for long.
  std::mutex writeMutex_;
  std::atomic<bool> open_{false};
  std::thread watcher_;
  std::atomic<bool> watcherEnded_{false};
  std::atomic<std::uint32_t> watcherResult_{0};

  mutable std::mutex stateMutex_;  // guards what follows
  LineSettings settings_;
  OsError lastError_;
  ReceiveNotice notice_;
};

}  // namespace tarvex
