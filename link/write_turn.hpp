// One port written from two threads, the window's (the seven jobs, the rate
// commands) and the corrections client's: each write goes out whole, in
// its turn, so that a command never lands inside an RTCM frame or a frame
// inside a command. A turn is one write; nobody waits for one longer than
// kWriteTurnMs (a frame at 4800 baud takes about 2 s), and a write that
// cannot get its turn is not made.
#pragma once

#include <chrono>
#include <mutex>

namespace trelvane::link {

constexpr int kWriteTurnMs = 2500;

class WriteTurn {
 public:
  // Holds the turn for its lifetime when Held().
  class Hold {
   public:
    explicit Hold(std::timed_mutex& turn) : lock_(turn, std::chrono::milliseconds(kWriteTurnMs)) {}
    bool Held() const { return lock_.owns_lock(); }

   private:
    std::unique_lock<std::timed_mutex> lock_;
  };

  std::timed_mutex& Turn() { return turn_; }

 private:
  std::timed_mutex turn_;
};

}  // namespace trelvane::link
