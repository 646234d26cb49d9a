// The port settings both monitors apply: the chosen rate, 8 data bits, no
// parity, one stop bit, no parity checking and no null stripping. The rest of
// the DCB is each build's own business.
#pragma once

#include <windows.h>

namespace trelvane::link {

inline void SetRateAndFraming(DCB& dcb, unsigned long baud) {
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = FALSE;
  dcb.fNull = FALSE;
}

// Binary mode with no flow control of either kind: a receiver neither sends
// XON/XOFF nor drives CTS or DSR reliably.
inline void SetBinaryWithoutFlowControl(DCB& dcb) {
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
}

}  // namespace trelvane::link
