// The serial device on a Win32 COM port.
#include "tools/sim/serial_device.hpp"

#include <cstdio>
#include <cstring>

#include <windows.h>

#include "handles/owned.hpp"
#include "link/port_framing.hpp"

namespace trelvane::sim {

namespace {

// A read waits at most this long for its first byte, so Read can keep to the
// player's wait and the player wakes in time for its next write.
constexpr DWORD kReadSliceMs = 10;
constexpr DWORD kWriteTimeoutMs = 200;

HANDLE Port(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

void Describe(DWORD error, char* why, std::size_t whyCapacity) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                 sizeof text, nullptr);
  std::size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) text[--n] = 0;
  std::snprintf(why, whyCapacity, "%s (error %lu)", text, static_cast<unsigned long>(error));
}

// "COMn" opens as "\\.\COMn": the plain name reaches only COM1 to COM9.
void DevicePath(const char* path, char* out, std::size_t capacity) {
  const bool plainCom = (path[0] == 'C' || path[0] == 'c') && (path[1] == 'O' || path[1] == 'o') &&
                        (path[2] == 'M' || path[2] == 'm') && path[3] >= '0' && path[3] <= '9';
  std::snprintf(out, capacity, "%s%s", plainCom ? "\\\\.\\" : "", path);
}

}  // namespace

SerialDevice::~SerialDevice() { const handles::OwnedHandle closing(Port(handle_)); }

bool SerialDevice::Open(const char* path, unsigned long baud, char* why, std::size_t whyCapacity) {
  char device[MAX_PATH];
  DevicePath(path, device, sizeof device);
  handles::OwnedHandle owned(CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  const HANDLE port = owned.Get();
  if (!owned.Valid()) {
    Describe(GetLastError(), why, whyCapacity);
    return false;
  }
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {
    Describe(GetLastError(), why, whyCapacity);
    return false;
  }
  link::SetRateAndFraming(dcb, baud);
  link::SetBinaryWithoutFlowControl(dcb);
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port, &dcb)) {
    char reason[200];
    Describe(GetLastError(), reason, sizeof reason);
    std::snprintf(why, whyCapacity, "cannot set %lu baud 8N1: %s", baud, reason);
    return false;
  }
  // A read returns at once with what has arrived, or after kReadSliceMs
  // with nothing; a write gives up on a port that takes nothing.
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (!SetCommTimeouts(port, &timeouts)) {
    Describe(GetLastError(), why, whyCapacity);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(owned.Release());
  return true;
}

long SerialDevice::Write(const char* data, std::size_t size) {
  DWORD written = 0;
  if (!WriteFile(Port(handle_), data, static_cast<DWORD>(size), &written, nullptr)) {
    return GetLastError() == ERROR_TIMEOUT ? static_cast<long>(written) : -1;
  }
  return static_cast<long>(written);
}

long SerialDevice::Read(char* into, std::size_t capacity, int waitMs) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitMs < 0 ? 0 : waitMs);
  for (;;) {
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(Port(handle_), &errors, &status)) return -1;  // the device is gone
    // With nothing waiting and no time left, a read would still wait its slice.
    if (status.cbInQue == 0 && GetTickCount64() >= deadline) return 0;
    DWORD got = 0;
    if (!ReadFile(Port(handle_), into, static_cast<DWORD>(capacity), &got, nullptr)) return -1;
    if (got > 0) return static_cast<long>(got);
    if (GetTickCount64() >= deadline) return 0;
  }
}

bool SerialDevice::Drain() { return FlushFileBuffers(Port(handle_)) != 0; }

bool SerialDevice::SetBaud(unsigned long baud) {
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(Port(handle_), &dcb)) return false;
  link::SetRateAndFraming(dcb, baud);
  return SetCommState(Port(handle_), &dcb) != 0;
}

}  // namespace trelvane::sim
