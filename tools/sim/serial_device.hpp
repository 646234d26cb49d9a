// The serial device the simulated receiver talks on: a tty on Linux, a COM
// port on Windows (serial_device_posix.cpp, serial_device_win32.cpp). Used
// from one thread: the player writes between short waits for what the
// monitor sends back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/sim/device.hpp"

namespace trelvane::sim {

class SerialDevice : public Device {
 public:
  SerialDevice() = default;
  ~SerialDevice() override;

  // Opens `path` at `baud` with 8 data bits, no parity, one stop bit, no flow
  // control and no byte translation. On failure writes the reason into `why`.
  bool Open(const char* path, unsigned long baud, char* why, std::size_t whyCapacity);

  long Write(const char* data, std::size_t size) override;
  long Read(char* into, std::size_t capacity, int waitMs) override;
  bool Drain() override;
  bool SetBaud(unsigned long baud) override;

 private:
  std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE
};

}  // namespace trelvane::sim
