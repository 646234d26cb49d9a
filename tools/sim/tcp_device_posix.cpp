// The TCP device on POSIX sockets.
#include "tools/sim/tcp_device.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace trelvane::sim {

namespace {

// A client whose socket reports one of these has gone; anything else is a
// passing condition.
bool ClientGone(int error) { return error != EAGAIN && error != EWOULDBLOCK && error != EINTR; }

}  // namespace

void Socket::Reset(SocketHandle fd) {
  if (fd_ != kNoSocket) close(fd_);
  fd_ = fd;
}

// POSIX sockets need no starting.
SocketLibrary::~SocketLibrary() = default;

bool SocketLibrary::Start(char*, std::size_t) {
  started_ = true;
  return true;
}

bool TcpDevice::Listen(unsigned port, char* why, std::size_t whyCapacity) {
  if (!library_.Start(why, whyCapacity)) return false;
  listener_.Reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener_.IsOpen()) {
    std::snprintf(why, whyCapacity, "no socket (%s)", std::strerror(errno));
    return false;
  }
  // A sim restarted on the same port does not wait out the last client's close.
  const int on = 1;
  setsockopt(listener_.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t size = sizeof address;
  if (bind(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener_.Fd(), 4) != 0 ||
      getsockname(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::snprintf(why, whyCapacity, "cannot listen on 127.0.0.1:%u (%s)", port, std::strerror(errno));
    listener_.Reset();
    return false;
  }
  port_ = ntohs(address.sin_port);
  return true;
}

long TcpDevice::Write(const char* data, std::size_t size) {
  if (!client_.IsOpen()) return static_cast<long>(size);
  const ssize_t n = send(client_.Fd(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) return static_cast<long>(n);
  if (!ClientGone(errno)) return 0;
  client_.Reset();
  return static_cast<long>(size);
}

long TcpDevice::Accept(int waitMs) {
  pollfd watch{listener_.Fd(), POLLIN, 0};
  const int ready = poll(&watch, 1, waitMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  if ((watch.revents & (POLLERR | POLLNVAL)) != 0) return -1;
  const int fd = accept4(listener_.Fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  // A client that left before it was taken costs nothing.
  if (fd >= 0) client_.Reset(fd);
  return 0;
}

long TcpDevice::Read(char* into, std::size_t capacity, int waitMs) {
  if (waitMs < 0) waitMs = 0;
  if (!client_.IsOpen()) return Accept(waitMs);
  pollfd watch{client_.Fd(), POLLIN, 0};
  const int ready = poll(&watch, 1, waitMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  const ssize_t n = recv(client_.Fd(), into, capacity, MSG_DONTWAIT);
  if (n > 0) return static_cast<long>(n);
  // Readable yet nothing to read (or a reset): the client has hung up.
  if (n == 0 || ClientGone(errno)) client_.Reset();
  return 0;
}

}  // namespace trelvane::sim
