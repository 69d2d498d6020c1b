// The device end of a Windows test's COM port, for tests that run under Wine through
// tests/wine/run. There the port ComName() is a pseudo-terminal whose other end belongs to a line
// server; LineClient talks to that server over 127.0.0.1:$TARVEX_LINE_PORT to send bytes into
// the port, read what the port wrote, and see the line settings the port is at.
//
//   tarvex::test::LineClient line;
//   if (!line.Available()) GTEST_SKIP() << line.Reason();
//   ASSERT_TRUE(line.Reset()) << line.Reason();
//   ... open std::string("\\\\.\\") + tarvex::test::ComName(), set it up, write ...
//   auto settings = line.Settings();
//   auto bytes = line.Read(4, std::chrono::seconds(2));
//
// The server serves one client at a time, so tests that use the line must not run in parallel
// (ctest RESOURCE_LOCK). Not thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::test {

// The port the sandbox maps to the line server ("COM20"), or "" outside the sandbox. Names
// above COM9 open only as "\\.\COM20".
const char* ComName();

// The line as the port left it. A pseudo-terminal always drops PARENB, so parity shows only
// as parityCheck (INPCK) and oddParity (PARODD): even parity and none differ by parityCheck.
struct SeenLineSettings {
  std::uint32_t baud = 0;  // bit/s, exact (any rate, not only the table's)
  bool oddParity = false;
  bool parityCheck = false;
  std::uint8_t stopBits = 0;
  bool eightDataBits = false;
  bool hardwareFlow = false;   // CRTSCTS
  bool outputXonXoff = false;  // IXON
  bool inputXonXoff = false;   // IXOFF
  bool local = false;          // CLOCAL
  bool receiverOn = false;     // CREAD
  bool raw = false;            // no output processing, input translation, echo or signals
  // The termios flags themselves, for anything the fields above leave out.
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;
  std::uint32_t lflag = 0;
};

// One request a program made of the port's modem lines, and the lines after it.
struct ModemChange {
  std::string request;  // "TIOCMSET", "TIOCMBIS" or "TIOCMBIC"
  bool rts = false;
  bool dtr = false;
};

class LineClient {
 public:
  // Connects at once; Available() tells whether that worked.
  LineClient();
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  bool Available() const { return socket_ != INVALID; }
  // Why the line is not available, or why the last call failed.
  const std::string& Reason() const { return reason_; }

  // Resumes the port's output and discards whatever waits in either direction.
  bool Reset();
  // Bytes the port will receive.
  bool Send(const std::vector<std::uint8_t>& bytes);
  // How many bytes sent wait in the port's input queue (the driver's, whoever has it open).
  std::optional<std::size_t> Queued();
  // What the port wrote: up to `count` bytes, fewer when `timeout` ends first. Nothing on a
  // failure.
  std::optional<std::vector<std::uint8_t>> Read(std::size_t count,
                                                std::chrono::milliseconds timeout);
  std::optional<SeenLineSettings> Settings();
  // Stops / restarts the port's output, as a received XOFF / XON would: writes then time out.
  bool Suspend();
  bool Resume();

  // The port's modem-line requests so far, oldest first, from every program of this run.
  std::vector<ModemChange> ModemChanges() const;

 private:
  static constexpr std::uintptr_t INVALID = ~std::uintptr_t{0};

  // Sends one command; the answer after "OK" (maybe empty), or nothing with Reason() set.
  std::optional<std::string> Ask(const std::string& command, std::chrono::milliseconds wait);

  std::uintptr_t socket_ = INVALID;  // a SOCKET, kept out of this header with <winsock2.h>
  bool started_ = false;             // WSAStartup succeeded
  std::string reason_;
  std::string pending_;  // received past the last answer
};

}  // namespace tarvex::test
