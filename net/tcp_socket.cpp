#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/tcp_socket.hpp"

#include <cstdio>

namespace trelvane::net {

namespace {

bool Ready(SOCKET socket, bool write, DWORD ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval wait{0, static_cast<long>((ms < 1000 ? ms : 1000) * 1000)};
  return (write ? select(0, nullptr, &set, nullptr, &wait) : select(0, &set, nullptr, nullptr, &wait)) > 0;
}

}  // namespace

bool Readable(SOCKET socket, DWORD ms) { return Ready(socket, false, ms); }
bool Writable(SOCKET socket, DWORD ms) { return Ready(socket, true, ms); }

bool ConnectWithin(const char* host, unsigned port, const StopSign& stop, OwnedSocket& socket, char* why,
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
  for (addrinfo* at = found; at != nullptr && !connected && !stop.Now(); at = at->ai_next) {
    socket.Reset(::socket(at->ai_family, at->ai_socktype, at->ai_protocol));
    if (socket.Get() == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ioctlsocket(socket.Get(), FIONBIO, &nonBlocking);
    if (connect(socket.Get(), at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0) {
      connected = true;
      break;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) continue;
    for (const DWORD start = GetTickCount(); !stop.Now() && GetTickCount() - start < kConnectMs;) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_SET(socket.Get(), &writable);
      FD_ZERO(&failed);
      FD_SET(socket.Get(), &failed);
      timeval wait{0, static_cast<long>(kConnectSliceMs * 1000)};
      if (select(0, nullptr, &writable, &failed, &wait) > 0) {
        int error = 0;
        int length = sizeof error;
        getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        connected = error == 0;
        break;
      }
    }
  }
  freeaddrinfo(found);
  if (!connected) {
    socket.Reset();
    std::snprintf(why, static_cast<std::size_t>(capacity), "%s:%u did not answer", host, port);
  }
  return connected;
}

}  // namespace trelvane::net
