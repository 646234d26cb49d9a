// The serial device the simulated receiver talks on: a tty on Linux, a COM
// port on Windows (serial_device_posix.cpp, serial_device_win32.cpp). Used
// from one thread: the player writes between short waits for what the
// monitor sends back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane::sim {

class SerialDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens `path` at `baud` with 8 data bits, no parity, one stop bit, no flow
  // control and no byte translation. On failure writes the reason into `why`.
  bool Open(const char* path, unsigned long baud, char* why, std::size_t whyCapacity);

  // Writes what the device takes at once: the count, 0 when it is full, -1
  // when the device failed.
  long Write(const char* data, std::size_t size);

  // Waits at most `waitMs` for bytes from the other end and reads those that
  // are there: the count, 0 when none came, -1 when the device failed or is
  // gone. A signal may end the wait early.
  long Read(char* into, std::size_t capacity, int waitMs);

  // Waits until everything written has left the device.
  bool Drain();

  // Moves the open device to `baud`, keeping its framing: what the receiver
  // does when the monitor asks it for another port rate. Bytes written
  // before should have been drained, or they may leave at the new rate.
  // False when the system has no such rate or refuses it.
  bool SetBaud(unsigned long baud);

 private:
  std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE
};

}  // namespace trelvane::sim
