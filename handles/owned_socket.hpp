// Sockets and their events, owned as kernel handles are (handles/owned.hpp).
// Include before anything includes windows.h: Winsock 2 replaces the older
// socket header windows.h would bring in.
#pragma once

#include <winsock2.h>

#include "handles/owned.hpp"

namespace trelvane::handles {

struct Socket {
  using Handle = SOCKET;
  static constexpr SOCKET kNone = INVALID_SOCKET;
  static bool Valid(SOCKET socket) { return socket != INVALID_SOCKET; }
  static void Close(SOCKET socket) { closesocket(socket); }
};

struct SocketEvent {
  using Handle = WSAEVENT;
  static constexpr WSAEVENT kNone = WSA_INVALID_EVENT;
  static bool Valid(WSAEVENT event) { return event != WSA_INVALID_EVENT; }
  static void Close(WSAEVENT event) { WSACloseEvent(event); }
};

using OwnedSocket = Owned<Socket>;
using OwnedSocketEvent = Owned<SocketEvent>;

}  // namespace trelvane::handles
