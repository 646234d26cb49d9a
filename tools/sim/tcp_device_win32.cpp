// The TCP device on Winsock: the same behaviour as tcp_device_posix.cpp,
// with Winsock's calls and error codes.
#include "tools/sim/tcp_device.hpp"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <winsock2.h>
#include <windows.h>

namespace trelvane::sim {

static_assert(sizeof(SOCKET) == sizeof(SocketHandle) && INVALID_SOCKET == kNoSocket,
              "SocketHandle holds a SOCKET");

namespace {

// The system's words for a Winsock error, without the trailing line break.
void Describe(int error, char* why, std::size_t whyCapacity) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(error), 0,
                 text, sizeof text, nullptr);
  std::size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) text[--n] = 0;
  // Some systems have no words for Winsock's codes: the number alone then.
  if (n == 0) {
    std::snprintf(why, whyCapacity, "error %d", error);
  } else {
    std::snprintf(why, whyCapacity, "%s (error %d)", text, error);
  }
}

// A client whose socket reports one of these has gone; anything else is a
// passing condition.
bool ClientGone(int error) { return error != WSAEWOULDBLOCK && error != WSAEINTR; }

// Calls never block: a wait is always select's, bounded by the player.
bool SetNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

// Waits at most `waitMs` for `s` to be readable (or, listening, to have a
// client waiting): 1 when it is, 0 when the time ran out, -1 on failure.
int WaitReadable(SOCKET s, int waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{};
  wait.tv_sec = waitMs / 1000;
  wait.tv_usec = (waitMs % 1000) * 1000;
  // The first argument is ignored by Winsock.
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
  return ready > 0 ? 1 : 0;
}

}  // namespace

void Socket::Reset(SocketHandle fd) {
  if (fd_ != kNoSocket) closesocket(static_cast<SOCKET>(fd_));
  fd_ = fd;
}

SocketLibrary::~SocketLibrary() {
  if (started_) WSACleanup();
}

bool SocketLibrary::Start(char* why, std::size_t whyCapacity) {
  if (started_) return true;
  WSADATA data{};
  // WSAStartup returns its error rather than setting WSAGetLastError.
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  if (error != 0) {
    char reason[256];
    Describe(error, reason, sizeof reason);
    std::snprintf(why, whyCapacity, "cannot start Winsock: %s", reason);
    return false;
  }
  started_ = true;
  return true;
}

bool TcpDevice::Listen(unsigned port, char* why, std::size_t whyCapacity) {
  if (!library_.Start(why, whyCapacity)) return false;
  listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener_.IsOpen() || !SetNonBlocking(listener_.Fd())) {
    char reason[256];
    Describe(WSAGetLastError(), reason, sizeof reason);
    std::snprintf(why, whyCapacity, "no socket (%s)", reason);
    listener_.Reset();
    return false;
  }
  // No SO_REUSEADDR: on Windows it would let a second program take the same
  // port, and a restarted sim binds past the last client's close without it.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  int size = sizeof address;
  if (bind(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener_.Fd(), 4) != 0 ||
      getsockname(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    char reason[256];
    Describe(WSAGetLastError(), reason, sizeof reason);
    std::snprintf(why, whyCapacity, "cannot listen on 127.0.0.1:%u (%s)", port, reason);
    listener_.Reset();
    return false;
  }
  port_ = ntohs(address.sin_port);
  return true;
}

long TcpDevice::Write(const char* data, std::size_t size) {
  if (!client_.IsOpen()) return static_cast<long>(size);
  // send takes an int count; the player's chunks are far smaller anyway.
  const int count = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
  const int n = send(client_.Fd(), data, count, 0);
  if (n != SOCKET_ERROR) return n;
  if (!ClientGone(WSAGetLastError())) return 0;
  client_.Reset();
  return static_cast<long>(size);
}

long TcpDevice::Accept(int waitMs) {
  const int ready = WaitReadable(listener_.Fd(), waitMs);
  if (ready <= 0) return ready;
  const SOCKET s = accept(listener_.Fd(), nullptr, nullptr);
  // A client that left before it was taken costs nothing.
  if (s == INVALID_SOCKET) return 0;
  client_.Reset(s);
  // A client that would block the player is no client.
  if (!SetNonBlocking(s)) client_.Reset();
  return 0;
}

long TcpDevice::Read(char* into, std::size_t capacity, int waitMs) {
  if (waitMs < 0) waitMs = 0;
  if (!client_.IsOpen()) return Accept(waitMs);
  const int ready = WaitReadable(client_.Fd(), waitMs);
  if (ready <= 0) return ready;
  const int count = capacity > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
  const int n = recv(client_.Fd(), into, count, 0);
  if (n > 0) return n;
  // Readable yet nothing to read (or a reset): the client has hung up.
  if (n == 0 || ClientGone(WSAGetLastError())) client_.Reset();
  return 0;
}

}  // namespace trelvane::sim
