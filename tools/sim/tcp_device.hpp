// The simulated receiver served on a TCP port instead of a serial device, as
// a receiver behind a serial-to-network bridge is: one client at a time;
// when it leaves, the next one waiting is taken. What the client sends is
// the wire's input, what the receiver sends goes to the client. While no
// client is there the receiver still talks, and its bytes are lost, as on a
// line nobody listens to: the player's pacing at the wire's rate goes on.
// The stream has no line rate of its own, so a rate change only moves the
// pacing. On POSIX sockets (tcp_device_posix.cpp) and Winsock
// (tcp_device_win32.cpp), which behave alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/sim/device.hpp"

namespace trelvane::sim {

// A socket as the system hands it out: a file descriptor on POSIX, a
// SOCKET (an unsigned handle) with Winsock.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
constexpr SocketHandle kNoSocket = ~SocketHandle{0};  // INVALID_SOCKET
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

// Owns one socket; closes it when replaced or destroyed.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Reset(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool IsOpen() const { return fd_ != kNoSocket; }
  SocketHandle Fd() const { return fd_; }
  // Closes the one held, then holds `fd` (kNoSocket: none).
  void Reset(SocketHandle fd = kNoSocket);

 private:
  SocketHandle fd_ = kNoSocket;
};

// Winsock must be started before the first socket and stopped after the
// last one is closed; POSIX sockets need nothing. Started on demand, so a
// sim on a serial device never starts it.
class SocketLibrary {
 public:
  SocketLibrary() = default;
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;

  // False, with the reason in `why`, when the system refuses.
  bool Start(char* why, std::size_t whyCapacity);

 private:
  bool started_ = false;
};

class TcpDevice : public Device {
 public:
  // Listens on 127.0.0.1:`port` (0: a free port the system picks). On
  // failure writes the reason into `why`.
  bool Listen(unsigned port, char* why, std::size_t whyCapacity);
  // The port listened on.
  unsigned Port() const { return port_; }

  // Sends to the client what its socket takes at once; everything when there
  // is no client, or the client has just gone.
  long Write(const char* data, std::size_t size) override;
  // Without a client, waits for one to connect (and reads nothing yet); with
  // one, waits for its bytes. A client that hangs up is let go: 0, and the
  // next read waits for the next. -1 only when the listening socket fails.
  long Read(char* into, std::size_t capacity, int waitMs) override;
  // The pacing has already held the bytes to the wire's time.
  bool Drain() override { return true; }
  bool SetBaud(unsigned long) override { return true; }

 private:
  long Accept(int waitMs);

  // Declared first: stopped only after both sockets are closed.
  SocketLibrary library_;
  Socket listener_;
  Socket client_;
  unsigned port_ = 0;
};

}  // namespace trelvane::sim
