// The port settings both monitors apply: the chosen rate, 8 data bits, no
// parity, one stop bit, no parity checking and no null stripping. The rest of
// the DCB is each build's own business.
#pragma once

#include <windows.h>

#include "link/port_bytes.hpp"

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

// The slack a write gets beyond its bytes' time on the wire.
constexpr DWORD kWriteSlackMs = 40;

// A write's limit at `baud`: every write is one slice (SliceBytes), which
// gets twice its time on the wire (ten bits a byte) and kWriteSlackMs
// besides, whatever its length: a per-byte limit cannot be finer than a
// millisecond, which at the high rates would let a stalled slice hold its
// writer for seconds. A port that stops taking bytes (a stalled adapter,
// flow control the driver keeps and the receiver never releases) gives
// the writer (the window, or the corrections' feeder) back within it, and
// the link closing waits for no longer.
inline void SetWriteLimit(COMMTIMEOUTS& timeouts, unsigned long baud) {
  const unsigned long sliceMs = baud == 0 ? 0 : (static_cast<unsigned long>(SliceBytes(baud)) * 10000 + baud - 1) / baud;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(2 * sliceMs) + kWriteSlackMs;
}

}  // namespace trelvane::link
