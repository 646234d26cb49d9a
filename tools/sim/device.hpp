// The wire the simulated receiver talks on, whatever carries it: a serial
// device (serial_device.hpp) or a TCP port's client (tcp_device.hpp). The
// player and the personas write, read and move rates through this alone, so
// one loop serves every carrier. Used from one thread.
#pragma once

#include <cstddef>

namespace trelvane::sim {

class Device {
 public:
  Device() = default;
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Writes what the device takes at once: the count, 0 when it is full, -1
  // when the device failed.
  virtual long Write(const char* data, std::size_t size) = 0;

  // Waits at most `waitMs` for bytes from the other end and reads those that
  // are there: the count, 0 when none came, -1 when the device failed or is
  // gone. A signal may end the wait early.
  virtual long Read(char* into, std::size_t capacity, int waitMs) = 0;

  // Waits until everything written has left the device.
  virtual bool Drain() = 0;

  // Moves the open device to `baud`, keeping its framing: what the receiver
  // does when the monitor asks it for another port rate. Bytes written
  // before should have been drained, or they may leave at the new rate.
  // False when the system has no such rate or refuses it.
  virtual bool SetBaud(unsigned long baud) = 0;
};

}  // namespace trelvane::sim
