// What a link's reader has seen since the link was opened: the bytes it
// received, when the last of them came, and the lines it dropped as longer
// than its buffer. The reader counts them as they happen, without a lock
// (each is one relaxed atomic operation); the main window reads them for the
// link's health whenever it likes.
#pragma once

#include <atomic>
#include <cstdint>

namespace trelvane::link {

struct LinkCounts {
  unsigned long bytes = 0;
  unsigned long linesCut = 0;
  std::uint32_t lastByteMs = 0;  // the tick count of the last read with bytes; 0: not known
};

class ReaderCounters {
 public:
  // `count` bytes read at `nowMs`.
  void AddBytes(unsigned long count, std::uint32_t nowMs) {
    lastByteMs_.store(nowMs == 0 ? 1 : nowMs, std::memory_order_relaxed);
    bytes_.fetch_add(count, std::memory_order_relaxed);
  }
  void AddLineCut() { linesCut_.fetch_add(1, std::memory_order_relaxed); }
  LinkCounts Read() const {
    return LinkCounts{bytes_.load(std::memory_order_relaxed), linesCut_.load(std::memory_order_relaxed),
                      lastByteMs_.load(std::memory_order_relaxed)};
  }

 private:
  std::atomic<unsigned long> bytes_{0};
  std::atomic<unsigned long> linesCut_{0};
  std::atomic<std::uint32_t> lastByteMs_{0};
};

}  // namespace trelvane::link
