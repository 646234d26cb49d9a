#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/tcp_socket.hpp"

#include <cstdio>

namespace trelvane::net {

bool StopEvent::IsSet() const {
  const WSAEVENT event = event_.Get();
  return WSAWaitForMultipleEvents(1, &event, FALSE, 0, FALSE) == WSA_WAIT_EVENT_0;
}

bool StopEvent::Pause(DWORD ms) const {
  const WSAEVENT event = event_.Get();
  return WSAWaitForMultipleEvents(1, &event, FALSE, ms, FALSE) != WSA_WAIT_EVENT_0;
}

SocketEvents::SocketEvents(SOCKET socket, long what) : socket_(socket), event_(WSACreateEvent()) {
  if (event_.Valid() && WSAEventSelect(socket, event_.Get(), what) != 0) event_.Reset();
}

long SocketEvents::Wait(const StopEvent& stop, DWORD ms, int* connectError) {
  if (!event_.Valid()) return 0;
  const WSAEVENT events[2] = {stop.Get(), event_.Get()};
  if (WSAWaitForMultipleEvents(2, events, FALSE, ms, FALSE) != WSA_WAIT_EVENT_0 + 1) return 0;
  WSANETWORKEVENTS happened = {};
  if (WSAEnumNetworkEvents(socket_, event_.Get(), &happened) != 0) return 0;
  if (connectError != nullptr) *connectError = happened.iErrorCode[FD_CONNECT_BIT];
  return happened.lNetworkEvents;
}

bool ConnectWithin(const char* host, unsigned port, const StopEvent& stop, OwnedSocket& socket, char* why,
                   int capacity) {
  char service[8];
  std::snprintf(service, sizeof service, "%u", port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, service, &hints, &found) != 0 || found == nullptr) {
    std::snprintf(why, static_cast<std::size_t>(capacity), "no such host %s", host);
    return false;
  }
  bool connected = false;
  for (addrinfo* at = found; at != nullptr && !connected && !stop.IsSet(); at = at->ai_next) {
    socket.Reset(::socket(at->ai_family, at->ai_socktype, at->ai_protocol));
    if (socket.Get() == INVALID_SOCKET) continue;
    // Selecting the socket's events makes it non-blocking.
    SocketEvents events(socket.Get(), FD_CONNECT);
    if (!events.Valid()) continue;
    if (connect(socket.Get(), at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0) {
      connected = true;
      break;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) continue;
    int error = 0;
    connected = (events.Wait(stop, kConnectMs, &error) & FD_CONNECT) != 0 && error == 0;
  }
  freeaddrinfo(found);
  if (!connected) {
    socket.Reset();
    std::snprintf(why, static_cast<std::size_t>(capacity), "%s:%u did not answer", host, port);
  }
  return connected;
}

bool SendWithin(SOCKET socket, const char* bytes, int length, DWORD ms, SocketEvents* events, const StopEvent* stop) {
  for (const DWORD start = GetTickCount(); length > 0;) {
    const int sent = send(socket, bytes, length, 0);
    if (sent > 0) {
      bytes += sent;
      length -= sent;
      continue;
    }
    const DWORD spent = GetTickCount() - start;
    if (sent != SOCKET_ERROR || WSAGetLastError() != WSAEWOULDBLOCK || spent >= ms) return false;
    if (events != nullptr && stop != nullptr) {
      // FD_WRITE comes once there is room again after a send that would block.
      events->Wait(*stop, ms - spent);
      if (stop->IsSet()) return false;
    } else {
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(socket, &writable);
      const DWORD left = ms - spent;
      timeval wait{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
      select(0, nullptr, &writable, nullptr, &wait);
    }
  }
  return true;
}

}  // namespace trelvane::net
