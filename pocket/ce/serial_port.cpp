#include "pocket/ce/serial_port.hpp"

namespace trelvane::ce {

namespace {

// Who is using the port handle right now. The reader thread enters a call,
// the UI thread's Close waits out a read slice (at most kReadSliceMs) and
// breaks into an event wait by closing the handle under it, which Win32 and
// Wine both honour for WaitCommEvent.
constexpr LONG kGateIdle = 0;
constexpr LONG kGateRead = 1;
constexpr LONG kGateWait = 2;
constexpr LONG kGateClosed = 3;

// A blocking read is made of reads that wait at most this long for a byte;
// between slices the read notices that the port was closed.
constexpr DWORD kReadSliceMs = 50;

}  // namespace

SerialPort* SerialPort::Open(const wchar_t* name) {
  HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return new SerialPort(handle);
}

void SerialPort::AddRef() { InterlockedIncrement(&refs_); }

void SerialPort::Release() {
  if (InterlockedDecrement(&refs_) != 0) return;
  Close();
  delete this;
}

bool SerialPort::EnterCall(LONG kind) {
  return InterlockedCompareExchange(&gate_, kind, kGateIdle) == kGateIdle;
}

// False when the port was closed during the call.
bool SerialPort::LeaveCall(LONG kind) {
  return InterlockedCompareExchange(&gate_, kGateIdle, kind) == kind;
}

bool SerialPort::IsClosed() const { return gate_ == kGateClosed; }

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
  if (IsClosed()) return FALSE;
  return SetCommMask(handle_, mask);
}

BOOL SerialPort::WaitEvent(DWORD* events) {
  *events = 0;
  if (!EnterCall(kGateWait)) return FALSE;
  BOOL ok = WaitCommEvent(handle_, events, nullptr);
  if (!LeaveCall(kGateWait)) {
    *events = 0;
    return FALSE;
  }
  return ok;
}

BOOL SerialPort::Read(void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  for (;;) {
    if (!EnterCall(kGateRead)) return FALSE;
    BOOL ok = ReadFile(handle_, buffer, size, got, nullptr);
    LeaveCall(kGateRead);
    if (!ok || *got != 0 || !blockingReads_) return ok;
  }
}

BOOL SerialPort::Write(const void* bytes, DWORD size, DWORD* written) {
  *written = 0;
  if (IsClosed()) return FALSE;
  return WriteFile(handle_, bytes, size, written, nullptr);
}

void SerialPort::Close() {
  for (;;) {
    LONG seen = InterlockedCompareExchange(&gate_, kGateClosed, kGateIdle);
    if (seen == kGateIdle) break;
    if (seen == kGateClosed) return;
    if (seen == kGateWait && InterlockedCompareExchange(&gate_, kGateClosed, kGateWait) == kGateWait) {
      // The reader is inside WaitCommEvent: closing the handle ends that wait.
      // The reader learns from the gate that the port is gone and does not
      // touch the handle again.
      break;
    }
    Sleep(1);  // a read slice is running; it ends within kReadSliceMs
  }
  // A reader between its gate and its call then finds no handle to use.
  CloseHandle(InterlockedExchangePointer(&handle_, INVALID_HANDLE_VALUE));
}

}  // namespace trelvane::ce
