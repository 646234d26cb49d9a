#include "link/port_probe.hpp"

#include <cstring>

#include "link/serial_link_desktop.hpp"

namespace trelvane::link {

namespace {

constexpr DWORD kAfterOpenMs = 100;
constexpr DWORD kTalkTimeMs = 1000;
constexpr DWORD kRetryMs = 1000;
constexpr int kReadTries = 3;
constexpr DWORD kProbeReadBytes = 200;

// Closes the port on every way out of the probe.
class ProbedPort {
 public:
  explicit ProbedPort(HANDLE handle) : handle_(handle) {}
  ProbedPort(const ProbedPort&) = delete;
  ProbedPort& operator=(const ProbedPort&) = delete;
  ~ProbedPort() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

const char* ProbeStatusText(ProbeResult result) {
  switch (result) {
    case ReceiverFound:
      return "GPS Receiver";
    case NoReceiver:
      return "NO GPS Receiver";
    default:
      return "NO DEVICE";
  }
}

ProbeResult ListenForReceiver(const char* portName, unsigned long baud,
                              const std::atomic<unsigned char>& stopRequested) {
  ProbedPort port(CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  Sleep(kAfterOpenMs);  // also after a failed open: the driver may still be settling
  if (port.Handle() == INVALID_HANDLE_VALUE) return NoDevice;
  if (!PulseBreak(port.Handle())) return NoDevice;
  ApplyDesktopSettings(port.Handle(), baud);
  PurgeComm(port.Handle(), PURGE_TXCLEAR);
  PurgeComm(port.Handle(), PURGE_RXCLEAR);
  SetCommMask(port.Handle(), EV_RXCHAR);  // nothing waits on it
  Sleep(kTalkTimeMs);
  if (stopRequested.load() == 1) return NoReceiver;

  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    char heard[kProbeReadBytes + 1];
    DWORD got = 0;
    if (ReadFile(port.Handle(), heard, kProbeReadBytes, &got, nullptr) && got > 0) {
      heard[got] = '\0';  // a zero byte among them ends the search early
      return std::strstr(heard, "$GP") != nullptr ? ReceiverFound : NoReceiver;
    }
    Sleep(kRetryMs);
    DWORD errors = 0;
    ClearCommError(port.Handle(), &errors, nullptr);
  }
  return NoDevice;
}

}  // namespace trelvane::link
