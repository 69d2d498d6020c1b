// The DCB fields an open writes, and the ones it must leave as the driver had them.
#include <windows.h>

#include <cstring>

#include <ostream>

#include <gtest/gtest.h>

#include "link/win32/dcb_settings.h"

namespace tarvex {
namespace {

struct DcbCase {
  std::uint32_t baud;
  std::uint8_t parity;
  BYTE parityCode;
  BYTE stopBitsCode;
};

void PrintTo(const DcbCase& c, std::ostream* out) {
  *out << c.baud << ' ' << int(c.parity);
}

class DcbFields : public testing::TestWithParam<DcbCase> {};

TEST_P(DcbFields, FollowTheLineSettingsAndTheStopBitRule) {
  const DcbCase& c = GetParam();
  DCB dcb;
  std::memset(&dcb, 0xA5, sizeof dcb);  // as if the driver had set every bit
  const DCB before = dcb;
  win32::ApplyLineSettings(dcb, MakeLineSettings(c.baud, c.parity));

  EXPECT_EQ(dcb.BaudRate, c.baud);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, c.parityCode);
  EXPECT_EQ(dcb.StopBits, c.stopBitsCode);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity, 1u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fNull, 0u);
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  EXPECT_EQ(dcb.XonLim, 1);
  EXPECT_EQ(dcb.XoffLim, 1);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  // The driver's own: DTR and the rest.
  EXPECT_EQ(dcb.DCBlength, before.DCBlength);
  EXPECT_EQ(dcb.fDtrControl, before.fDtrControl);
  EXPECT_EQ(dcb.fDsrSensitivity, before.fDsrSensitivity);
  EXPECT_EQ(dcb.fTXContinueOnXoff, before.fTXContinueOnXoff);
  EXPECT_EQ(dcb.fErrorChar, before.fErrorChar);
  EXPECT_EQ(dcb.fAbortOnError, before.fAbortOnError);
  EXPECT_EQ(dcb.ErrorChar, before.ErrorChar);
  EXPECT_EQ(dcb.EofChar, before.EofChar);
  EXPECT_EQ(dcb.EvtChar, before.EvtChar);
}

INSTANTIATE_TEST_SUITE_P(Table, DcbFields,
                         testing::Values(DcbCase{100000, PARITY_CODE_EVEN, EVENPARITY, ONESTOPBIT},
                                         DcbCase{250000, PARITY_CODE_NONE, NOPARITY, TWOSTOPBITS},
                                         DcbCase{115200, PARITY_CODE_ODD, ODDPARITY, ONESTOPBIT},
                                         DcbCase{140000, PARITY_CODE_NONE, NOPARITY, ONESTOPBIT}));

}  // namespace
}  // namespace tarvex
