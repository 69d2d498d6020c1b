// The kernel's own terminal settings record (termios2), which carries any speed in bit/s. Its
// header clashes with the C library's <termios.h>, so only linux/kernel_termios.cpp includes it.
// Linux only; public so that the simulated fixture reads and sets its pseudo-terminal's settings
// the way the link does.
#pragma once

#include <cstdint>

#include "protocol/line_settings.h"

namespace tarvex::posix {

// The fields of a termios2 that callers look at; the flag bits have the same values as the
// C library's <termios.h> constants on Linux.
struct KernelTermios {
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;
  std::uint32_t lflag = 0;
  std::uint32_t ispeed = 0;  // bit/s
  std::uint32_t ospeed = 0;  // bit/s
};

// TCGETS2. Returns 0 or the errno of the failure. On a pseudo-terminal master this reads the
// settings of its slave.
int ReadKernelTermios(int fd, KernelTermios& termios);

// Makes the line raw 8-bit at `settings` (any speed), with input parity checking, no flow
// control, CLOCAL and CREAD; leaves HUPCL and the modem lines alone. With `markErrors` a byte
// received with a framing or parity error arrives marked (PARMRK, see link/marked_input.h).
// Returns 0 or the errno of the failure (EINVAL for a parity code other than none, odd or even).
int ApplyLineSettings(int fd, const LineSettings& settings, bool markErrors = false);

}  // namespace tarvex::posix
