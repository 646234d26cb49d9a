// What a shared receiver's client has yet to be sent: a fixed ring of bytes
// made once when the client connects. Items go in whole or not at all (a
// client is never sent half a sentence or object), and each byte's room is
// free again the moment the socket took it, so a client that keeps up costs
// the same memory after an hour as at its start. A client whose backlog
// would pass the ring has stopped reading.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace trelvane::monitor {

class SendBacklog {
 public:
  explicit SendBacklog(std::size_t capacity) : bytes_(new char[capacity]), capacity_(capacity) {}
  SendBacklog(const SendBacklog&) = delete;
  SendBacklog& operator=(const SendBacklog&) = delete;
  // A moved-from backlog holds nothing and takes nothing.
  SendBacklog(SendBacklog&& other) noexcept { *this = std::move(other); }
  SendBacklog& operator=(SendBacklog&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    capacity_ = other.capacity_;
    start_ = other.start_;
    used_ = other.used_;
    other.capacity_ = other.start_ = other.used_ = 0;
    return *this;
  }

  // Appends `length` bytes whole; false, and nothing added, when they do
  // not fit beside what waits.
  bool Put(const char* bytes, std::size_t length) {
    if (length > capacity_ - used_ || (length > 0 && bytes_ == nullptr)) return false;
    for (std::size_t i = 0; i < length; ++i) bytes_[(start_ + used_ + i) % capacity_] = bytes[i];
    used_ += length;
    return true;
  }

  // The oldest waiting bytes that lie in one piece; the count (0: none).
  std::size_t Peek(const char** piece) const {
    *piece = bytes_.get() + start_;
    if (used_ == 0) return 0;
    const std::size_t toEnd = capacity_ - start_;
    return used_ < toEnd ? used_ : toEnd;
  }

  // `count` of the bytes Peek gave were sent: their room is free.
  void Drop(std::size_t count) {
    if (count > used_) count = used_;
    if (count == 0) return;
    start_ = (start_ + count) % capacity_;
    used_ -= count;
    if (used_ == 0) start_ = 0;
  }

  std::size_t Waiting() const { return used_; }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t start_ = 0;
  std::size_t used_ = 0;
};

}  // namespace trelvane::monitor
