#include "ce/serial_port.hpp"

namespace trelvane::ce {

namespace {

// Who is using the port handle right now: the reader thread marks its call,
// the UI thread's Close first forbids new calls, then waits out a read slice
// (at most kReadSliceMs) or breaks into an event wait by closing the handle
// under it, which Win32 and Wine both honour for WaitCommEvent.
constexpr LONG kGateRead = 1;
constexpr LONG kGateWait = 2;

// A blocking read is made of reads that wait at most this long for a byte;
// between slices the read notices that the port was closed.
constexpr DWORD kReadSliceMs = 50;

}  // namespace

SerialPortRef SerialPort::Open(const wchar_t* name) {
  HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return SerialPortRef(new SerialPort(handle), [](SerialPort* port) {
    port->Close();
    delete port;
  });
}

// Either the caller sees the close and backs out, or Close sees the call and
// waits for it (sync/stop_gate.hpp).
bool SerialPort::EnterCall(LONG kind) { return gate_.Enter(static_cast<int>(kind)); }

// False when the port was closed during the call.
bool SerialPort::LeaveCall() { return gate_.Leave(); }

bool SerialPort::IsClosed() const { return gate_.Closed(); }

BOOL SerialPort::GetState(DCB* dcb) {
  if (IsClosed()) return FALSE;
  dcb->DCBlength = sizeof(DCB);
  return GetCommState(handle_, dcb);
}

BOOL SerialPort::SetState(DCB* dcb) {
  if (IsClosed()) return FALSE;
  return SetCommState(handle_, dcb);
}

BOOL SerialPort::SetTimeouts(const COMMTIMEOUTS* timeouts) {
  if (IsClosed()) return FALSE;
  blockingReads_ = timeouts->ReadIntervalTimeout == 0 && timeouts->ReadTotalTimeoutMultiplier == 0 &&
                   timeouts->ReadTotalTimeoutConstant == 0;
  COMMTIMEOUTS applied = *timeouts;
  if (blockingReads_) {
    // A byte that is waiting is returned at once, otherwise the slice runs out.
    applied.ReadIntervalTimeout = MAXDWORD;
    applied.ReadTotalTimeoutMultiplier = MAXDWORD;
    applied.ReadTotalTimeoutConstant = kReadSliceMs;
  }
  return SetCommTimeouts(handle_, &applied);
}

BOOL SerialPort::SetMask(DWORD mask) {
  // The reader sets the mask again after each wait; a short call like a read.
  if (!EnterCall(kGateRead)) return FALSE;
  const BOOL ok = SetCommMask(handle_, mask);
  if (ok) mask_ = mask;
  return LeaveCall() && ok;
}

BOOL SerialPort::WaitEvent(DWORD* events) {
  *events = 0;
  if (mask_ == EV_RXCHAR && blockingReads_) {
    if (!holding_) {
      // A port whose device is gone fails the wait at once, as WaitCommEvent
      // would: under Wine a read of it spins through its whole slice.
      if (!EnterCall(kGateRead)) return FALSE;
      DWORD errors = 0;
      const BOOL present = ClearCommError(handle_, &errors, nullptr);
      if (!LeaveCall() || !present) return FALSE;
      DWORD got = 0;
      if (!ReadSlices(&held_, 1, &got) || got != 1) return FALSE;
      holding_ = true;
    }
    *events = EV_RXCHAR;
    return TRUE;
  }
  if (!EnterCall(kGateWait)) return FALSE;
  BOOL ok = WaitCommEvent(handle_, events, nullptr);
  if (!LeaveCall()) {
    *events = 0;
    return FALSE;
  }
  return ok;
}

BOOL SerialPort::Read(void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  if (holding_ && size > 0) {
    if (IsClosed()) return FALSE;
    *static_cast<unsigned char*>(buffer) = held_;
    holding_ = false;
    *got = 1;
    return TRUE;
  }
  return ReadSlices(buffer, size, got);
}

DWORD SerialPort::Queued() {
  if (!EnterCall(kGateRead)) return 0;
  DWORD errors = 0;
  COMSTAT status = {};
  const BOOL ok = ClearCommError(handle_, &errors, &status);
  if (!LeaveCall() || !ok) return 0;
  return status.cbInQue;
}

BOOL SerialPort::ReadSlices(void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  for (;;) {
    if (!EnterCall(kGateRead)) return FALSE;
    BOOL ok = ReadFile(handle_, buffer, size, got, nullptr);
    if (!LeaveCall()) return FALSE;
    if (!ok || *got != 0 || !blockingReads_) return ok;
    // A slice without a byte: the handheld's driver fails a read once its
    // device is gone; Win32 may instead keep ending slices empty (and on a
    // hung-up terminal spin through each). A port whose error state cannot
    // be read is gone.
    if (!EnterCall(kGateRead)) return FALSE;
    DWORD errors = 0;
    const BOOL present = ClearCommError(handle_, &errors, nullptr);
    if (!LeaveCall() || !present) return FALSE;
  }
}

BOOL SerialPort::Write(const void* bytes, DWORD size, DWORD* written) {
  *written = 0;
  if (!writeGate_.Enter()) return FALSE;
  const BOOL ok = WriteFile(handle_, bytes, size, written, nullptr);
  return writeGate_.Leave() && ok;
}

void SerialPort::Close() {
  if (!gate_.Close()) return;
  writeGate_.Close();
  // The reader's event wait ends when the handle is closed; a read slice is
  // waited out, and so is a write under way. Either way the reader then
  // sees the close and stops.
  gate_.WaitOut(kGateRead);
  writeGate_.WaitOut();
  const handles::OwnedHandle closing(InterlockedExchangePointer(&handle_, INVALID_HANDLE_VALUE));
}

}  // namespace trelvane::ce
