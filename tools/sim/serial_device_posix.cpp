// The serial device on a POSIX tty (a serial port or one end of a pty pair).
#include "tools/sim/serial_device.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace trelvane::sim {

namespace {

struct Rate {
  unsigned long baud;
  speed_t speed;
};

// termios names rates by constant; a rate without one is refused, except
// 14400, which the monitors' rate lists offer: termios has no constant for it,
// and Wine sets a pseudo-terminal asked for 14400 to 38400, so the simulated
// receiver's end shows the same (it still paces its bytes at 14400).
constexpr Rate kRates[] = {
    {14400, B38400},
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool SpeedFor(unsigned long baud, speed_t& speed) {
  for (const Rate& rate : kRates) {
    if (rate.baud == baud) {
      speed = rate.speed;
      return true;
    }
  }
  return false;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

SerialDevice::~SerialDevice() {
  if (handle_ >= 0) close(Fd(handle_));
}

bool SerialDevice::Open(const char* path, unsigned long baud, char* why, std::size_t whyCapacity) {
  speed_t speed = B0;
  if (!SpeedFor(baud, speed)) {
    std::snprintf(why, whyCapacity, "%lu baud is not a rate this system can set", baud);
    return false;
  }
  // Non-blocking: the player never sits in a write; it waits in Read, where
  // it also hears the monitor.
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::snprintf(why, whyCapacity, "%s", std::strerror(errno));
    return false;
  }
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    std::snprintf(why, whyCapacity, "not a serial device (%s)", std::strerror(errno));
    close(fd);
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
      tcsetattr(fd, TCSANOW, &settings) != 0) {
    std::snprintf(why, whyCapacity, "cannot set %lu baud 8N1 (%s)", baud, std::strerror(errno));
    close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

long SerialDevice::Write(const char* data, std::size_t size) {
  const ssize_t n = write(Fd(handle_), data, size);
  if (n >= 0) return static_cast<long>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  return -1;
}

long SerialDevice::Read(char* into, std::size_t capacity, int waitMs) {
  pollfd watch{Fd(handle_), POLLIN, 0};
  const int ready = poll(&watch, 1, waitMs < 0 ? 0 : waitMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  const ssize_t n = read(Fd(handle_), into, capacity);
  if (n > 0) return static_cast<long>(n);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  // Readable yet nothing to read: the other end of the line has hung up.
  return -1;
}

bool SerialDevice::Drain() { return tcdrain(Fd(handle_)) == 0; }

bool SerialDevice::SetBaud(unsigned long baud) {
  speed_t speed = B0;
  termios settings{};
  if (!SpeedFor(baud, speed) || tcgetattr(Fd(handle_), &settings) != 0) return false;
  return cfsetispeed(&settings, speed) == 0 && cfsetospeed(&settings, speed) == 0 &&
         tcsetattr(Fd(handle_), TCSANOW, &settings) == 0;
}

}  // namespace trelvane::sim
