// The sockets the corrections client and the network receiver share:
// Winsock held for as long as its user lives, one owned socket, and a
// connection made within a limit that a stop cuts short. Include after
// winsock2.h (which must come before windows.h).
#pragma once

#include <winsock2.h>

#include "handles/owned_socket.hpp"

namespace trelvane::net {

// Winsock started for as long as its owner lives.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
  ~WinsockUse() {
    if (started_) WSACleanup();
  }
  bool Started() const { return started_; }

 private:
  bool started_ = false;
};

using handles::OwnedSocket;

// What ConnectWithin looks at, every kConnectSliceMs, to give up early.
struct StopSign {
  bool (*stopped)(const void* context);
  const void* context;
  bool Now() const { return stopped(context); }
};

constexpr DWORD kConnectMs = 5000;
constexpr DWORD kConnectSliceMs = 100;

// A non-blocking TCP connection to `host`:`port` in `socket` within
// kConnectMs (the name lookup before it cannot be cut short); false, with
// the reason in `why`, when none was made.
bool ConnectWithin(const char* host, unsigned port, const StopSign& stop, OwnedSocket& socket, char* why,
                   int capacity);

// Waits up to `ms` (at most a second) for `socket` to have bytes to read,
// or to take more.
bool Readable(SOCKET socket, DWORD ms);
bool Writable(SOCKET socket, DWORD ms);

}  // namespace trelvane::net
