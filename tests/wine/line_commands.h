// The text commands of the line server, answered against one pseudo-terminal. Tests running
// under Wine drive the "device" end of their COM port with these, one line per command and one
// line per answer ("OK ..." or "ERR reason"):
//
//   RESET                    resume the opener's output, discard what waits in both directions
//   SEND <hex>               send bytes to the opener             -> OK <count>
//   QUEUED                   bytes sent that wait in the opener's input -> OK <count>
//   READ <count> <ms>        wait up to <ms> for <count> bytes    -> OK <hex of what came>
//   SETTINGS                 the line as the opener left it       -> OK key=value ...
//   SUSPEND / RESUME         stop / restart the opener's output, as XOFF / XON would
//   QUIT                     end the server
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pty_line.h"

namespace tarvex::wine {

// Longest READ and SEND the server accepts.
inline constexpr std::size_t MAX_TRANSFER_BYTES = 1 << 20;
inline constexpr long MAX_READ_MS = 600000;

std::string ToHex(const std::vector<std::uint8_t>& bytes);
// Nothing on an odd length or a character that is not a hex digit.
std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text);

// "baud=115200 parity=odd stop=1 cs8=1 crtscts=0 ixon=0 ixoff=0 inpck=1 clocal=1 cread=1 raw=1
// iflag=0x... oflag=0x... cflag=0x... lflag=0x...". A pseudo-terminal cannot show even parity,
// so parity is "odd" or "none-or-even".
std::string FormatSettings(const PtyLineSettings& settings);

class LineCommands {
 public:
  // `slaveFd` is the server's own descriptor of the opener's end, used to discard and count its
  // input.
  LineCommands(PtyLine& line, int slaveFd) : line_(line), slaveFd_(slaveFd) {}

  // One command without its line end; the answer without its line end.
  std::string Handle(std::string_view command);
  bool QuitRequested() const { return quit_; }

 private:
  PtyLine& line_;
  int slaveFd_;
  bool quit_ = false;
};

}  // namespace tarvex::wine
