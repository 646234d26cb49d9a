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

// A worker's stop as its waits on the network see it: a manual-reset event
// that the worker's wake sets. Every wait of a worker on a socket waits on
// it as well, so a stop ends the wait at once rather than at a next look.
class StopEvent {
 public:
  StopEvent() : event_(WSACreateEvent()) {}
  bool Valid() const { return event_.Valid(); }
  void Set() const { WSASetEvent(event_.Get()); }
  bool IsSet() const;
  // Waits `ms` unless stopped first; false when stopped.
  bool Pause(DWORD ms) const;
  WSAEVENT Get() const { return event_.Get(); }

 private:
  handles::OwnedSocketEvent event_;
};

// One socket's network events (FD_READ, FD_WRITE, FD_CONNECT, FD_CLOSE) as
// one event that a worker waits on together with its stop. Only one of
// these may be made for a socket at a time, and only its thread waits on it.
class SocketEvents {
 public:
  SocketEvents(SOCKET socket, long what);
  bool Valid() const { return event_.Valid(); }
  // Waits up to `ms` for one of the events or the stop: the events that
  // happened, 0 on a time-out or a stop. `connectError` (may be null) gets
  // FD_CONNECT's outcome.
  long Wait(const StopEvent& stop, DWORD ms, int* connectError = nullptr);

 private:
  SOCKET socket_;
  handles::OwnedSocketEvent event_;
};

constexpr DWORD kConnectMs = 5000;

// A non-blocking TCP connection to `host`:`port` in `socket` within
// kConnectMs, given up at once on `stop` (the name lookup before it cannot
// be cut short); false, with the reason in `why`, when none was made.
bool ConnectWithin(const char* host, unsigned port, const StopEvent& stop, OwnedSocket& socket, char* why,
                   int capacity);

// Sends all of `bytes` on the non-blocking `socket` within `ms`. A worker
// waits for room on its `events` and its `stop`; the window's thread, which
// has neither (null), waits for room in select. False when the socket would
// not take them all in time, failed, or the worker was stopped.
bool SendWithin(SOCKET socket, const char* bytes, int length, DWORD ms, SocketEvents* events = nullptr,
                const StopEvent* stop = nullptr);

}  // namespace trelvane::net
