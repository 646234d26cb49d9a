// The handheld's serial port, on Win32.
//
// The handheld monitor's reader relies on two things its platform's serial
// driver does and Win32's does not: closing a port ends a pending
// WaitCommEvent and a pending blocking ReadFile on it (a read with all-zero
// time-outs waits for its byte for ever on Win32, even after the handle is
// closed). This layer gives the handheld code those semantics, so the reader
// keeps its algorithm: all-zero time-outs, an event wait, blocking one-byte
// reads. Everything else passes straight to Win32.
//
// With blocking reads, a wait for EV_RXCHAR alone is a one-byte read that
// holds its byte for the next Read: Wine answers WaitCommEvent by polling
// the port many times a second, which kept a silent, open port at several
// per cent of a core.
#pragma once

#include <windows.h>

#include <memory>

#include "handles/owned.hpp"
#include "sync/stop_gate.hpp"

namespace trelvane::ce {

class SerialPort;
// A share of an open port: the link and its reader each hold one, and the
// last to let go closes the port.
using SerialPortRef = std::shared_ptr<SerialPort>;

class SerialPort {
 public:
  // Opens `name` for reading and writing, unshared, existing only, without
  // overlapped I/O. Returns an empty reference on failure.
  static SerialPortRef Open(const wchar_t* name);

  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  BOOL GetState(DCB* dcb);
  BOOL SetState(DCB* dcb);
  // All-zero time-outs are kept as "wait until the byte arrives"; the port
  // itself is given short read slices (see ReadFile).
  BOOL SetTimeouts(const COMMTIMEOUTS* timeouts);
  BOOL SetMask(DWORD mask);
  // Waits for one of the mask's events; see above for EV_RXCHAR.
  BOOL WaitEvent(DWORD* events);
  // A byte held by WaitEvent comes first, alone.
  BOOL Read(void* buffer, DWORD size, DWORD* got);
  // How many received bytes the driver holds (ClearCommError's count), so
  // that a read of that many returns at once; 0 when unknown.
  DWORD Queued();
  // A write from any thread; Close waits for one under way (its limit is
  // the port's write time-outs).
  BOOL Write(const void* bytes, DWORD size, DWORD* written);

  // Ends a pending event wait or read (they fail), then closes the port. No
  // call on this object touches the port afterwards. Safe to call twice.
  void Close();
  bool IsClosed() const;

 private:
  explicit SerialPort(HANDLE handle) : handle_(handle) {}
  ~SerialPort() = default;

  bool EnterCall(LONG kind);
  bool LeaveCall();
  BOOL ReadSlices(void* buffer, DWORD size, DWORD* got);

  HANDLE volatile handle_;
  sync::StopGate gate_;  // shut by Close; a spell is the reader's call (kGate* in serial_port.cpp)
  sync::StopGate writeGate_;  // shut by Close; a spell is a write (writes take turns above this layer)
  bool blockingReads_ = false;
  // Only the reader thread waits and reads; these are its own.
  DWORD mask_ = 0;
  bool holding_ = false;
  unsigned char held_ = 0;
};

}  // namespace trelvane::ce
