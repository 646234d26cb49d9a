// The log-pane lines a network thread has for the window, waiting until the
// window takes them: at most N of at most Chars characters each, the
// newest dropped when the window is behind (the ones it has not seen tell
// the story's start). The owner guards it with its own lock.
#pragma once

#include <cstdio>

namespace trelvane::net {

template <int N, int Chars>
class LogLines {
 public:
  // Writes one line by `format` (two text arguments); false when full.
  bool Put(const char* format, const char* a, const char* b) {
    if (count_ == N) return false;
    std::snprintf(lines_[(first_ + count_) % N], Chars, format, a, b);
    ++count_;
    return true;
  }
  // The oldest line into `out` (of `capacity` characters); false when none.
  bool Take(char* out, int capacity) {
    if (count_ == 0 || capacity <= 0) return false;
    std::snprintf(out, static_cast<std::size_t>(capacity), "%s", lines_[first_]);
    first_ = (first_ + 1) % N;
    --count_;
    return true;
  }

 private:
  char lines_[N][Chars] = {};
  int first_ = 0;
  int count_ = 0;
};

}  // namespace trelvane::net
