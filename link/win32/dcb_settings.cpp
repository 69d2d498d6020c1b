#include "link/win32/dcb_settings.h"

namespace tarvex::win32 {

namespace {

constexpr BYTE DATA_BITS = 8;
constexpr WORD XON_XOFF_LIMIT = 1;  // bytes; software flow control is off all the same
constexpr char XON = 0x11;
constexpr char XOFF = 0x13;

BYTE ParityCode(std::uint8_t parity) {
  switch (parity) {
    case PARITY_CODE_ODD:
      return ODDPARITY;
    case PARITY_CODE_EVEN:
      return EVENPARITY;
    default:
      return NOPARITY;
  }
}

}  // namespace

void ApplyLineSettings(DCB& dcb, const LineSettings& settings) {
  dcb.BaudRate = settings.baud;
  dcb.ByteSize = DATA_BITS;
  dcb.Parity = ParityCode(settings.parity);
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.XonLim = XON_XOFF_LIMIT;
  dcb.XoffLim = XON_XOFF_LIMIT;
  dcb.XonChar = XON;
  dcb.XoffChar = XOFF;
}

}  // namespace tarvex::win32
