// A pseudo-terminal that stands in for a serial line: the program under test opens the slave
// path like a port; the fixture side reads, writes and inspects the line through the master.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/line_settings.h"

namespace tarvex {

// A pseudo-terminal clears PARENB and keeps PARODD, so even parity and none look alike.
enum class PtyParity { NoneOrEven, Odd };

// The slave's settings as the opener left them.
struct PtyLineSettings {
  std::uint32_t baud = 0;  // bit/s, from c_ospeed
  PtyParity parity = PtyParity::NoneOrEven;
  std::uint8_t stopBits = 1;
  bool eightDataBits = false;  // CS8
  bool hardwareFlow = false;   // CRTSCTS
  bool outputXonXoff = false;  // IXON: received XOFF would stop our output
  bool inputXonXoff = false;   // IXOFF
  bool parityCheck = false;    // INPCK
  bool local = false;          // CLOCAL
  bool receiverOn = false;     // CREAD
  // No output post-processing, no input translation, no echo, no signals, not canonical.
  bool raw = false;
  // EXTPROC: the master hears of every change of these settings (see ReadPacket()).
  bool changesReported = false;
  // The raw termios flags, for checks the fields above do not cover.
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;
  std::uint32_t lflag = 0;

  // Whether `expected` fits what a pseudo-terminal can show of it.
  bool Matches(const LineSettings& expected) const;
};

// What one read of the master brought.
enum class PtyEvent : std::uint8_t {
  Bytes,            // `size` bytes the opener wrote
  SettingsChanged,  // the opener changed the line settings
  Nothing,          // nothing waiting, and no change
  Other,            // another report of the line: output suspended or resumed, or flushed
  Failed,           // `error` holds the errno
};

struct PtyPacket {
  PtyEvent event = PtyEvent::Nothing;
  std::size_t size = 0;
  int error = 0;
};

class PtyLine {
 public:
  // Opens the pair; Ok() tells whether that worked.
  PtyLine();
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  bool Ok() const { return masterFd_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }

  // Reads what the opener wrote: bytes read, 0 on time-out, negative (-errno) on failure.
  long Read(std::uint8_t* buffer, std::size_t maxBytes, std::chrono::milliseconds timeout);
  // One read that does not wait, bytes or a report. A change of the settings is reported ahead of
  // any bytes still unread, those written before it included (sim/settings_attribution.h).
  PtyPacket ReadPacket(std::uint8_t* buffer, std::size_t maxBytes);
  // Waits up to `timeout` for something to read; false on a time-out.
  bool WaitReadable(std::chrono::milliseconds timeout);
  // Reads until `count` bytes have come or `timeout` has passed since the call; what came.
  std::vector<std::uint8_t> ReadFor(std::size_t count, std::chrono::milliseconds timeout);
  // Discards whatever is waiting to be read on the fixture side.
  void Drain();

  // Sends bytes from the fixture side; they arrive as input of the opener. False on failure.
  bool Send(const std::uint8_t* bytes, std::size_t length);

  // False when the settings cannot be read.
  bool Settings(PtyLineSettings& settings) const;

  // Suspends or resumes the opener's output, as a received XOFF / XON would.
  bool SuspendOutput();
  bool ResumeOutput();

  // Closes the fixture side: the opener's writes fail and its waits see a hang-up.
  void Hangup();

 private:
  int masterFd_ = -1;
  // Kept open so that the line survives the opener's closes and re-opens; without it the master
  // reads EIO whenever no one has the slave open.
  int slaveFd_ = -1;
  std::string slavePath_;
};

}  // namespace tarvex
