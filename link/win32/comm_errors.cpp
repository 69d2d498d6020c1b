#include "link/win32/comm_errors.h"

namespace tarvex::win32 {

LineErrorCounts CountCommErrors(DWORD flags) {
  LineErrorCounts counts;
  if ((flags & CE_BREAK) != 0) {
    counts.breaks = 1;
  } else {
    counts.framing = (flags & CE_FRAME) != 0 ? 1 : 0;
    counts.parity = (flags & CE_RXPARITY) != 0 ? 1 : 0;
  }
  counts.overrun = (flags & (CE_OVERRUN | CE_RXOVER)) != 0 ? 1 : 0;
  return counts;
}

}  // namespace tarvex::win32
