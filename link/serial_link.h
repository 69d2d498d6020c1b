// One serial port at a time: open, write, the receive watcher and the close sequence.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/line_settings.h"
#include "link/manual_event.h"
#include "link/os_error.h"
#include "link/port_backend.h"

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

  // Returns when the bytes have left the line or at the write time-out; the count written.
  std::uint32_t WriteComm(const std::uint8_t* bytes, std::uint32_t length);

  // The close sequence: clear running, set the receive gate, end a pending wait, wait for the
  // watcher, forget it, close the port. Returns at once when nothing is open.
  void CloseCommPort();

  std::atomic<std::uint32_t>& running() { return running_; }
  ManualEvent& receiveGate() { return receiveGate_; }

  bool IsOpen() const;
  LineSettings Settings() const;  // of the open port
  OsError LastError() const;      // of the last failed open or write
  PortBackend& backend() { return *backend_; }

 private:
  std::uint32_t CommWatchProc();

  std::unique_ptr<PortBackend> backend_;
  std::atomic<std::uint32_t> running_{0};
  ManualEvent receiveGate_{true};
  ManualEvent writeDone_{false};
  // ... the implementation adds what it needs (watcher thread, mutex, settings, last error)
};

}  // namespace tarvex
