// The queue between the reader thread and a recording's writer thread: the
// bytes of each read in one fixed ring and the read's timing record in
// another. One thread puts (the reader), one takes (the writer); neither ever
// waits for the other, and nothing is allocated after construction.
//
// A read goes in whole or not at all: when either ring lacks room the put is
// refused and nothing of it is queued, so a recording cut short by a slow
// disk ends on a read's boundary, with its timing true to its bytes.
//
// Each side moves only its own count (the reader the heads, the writer the
// tails); a head is published with release after the slots behind it are
// filled, and a tail after its slots are read, so each side sees whole
// contents up to the other's count. The byte head is published before the
// read head: a writer that sees a read's record also sees its bytes.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recording/playback_clock.hpp"

namespace trelvane::recording {

class RecordingRing {
 public:
  // A second and more of a fast receiver's bytes (921600 baud is 92 KB a
  // second), and more reads than those bytes can come in at the reader's
  // usual sizes.
  static constexpr std::size_t kBytes = 256 * 1024;
  static constexpr std::size_t kReads = 16 * 1024;

  RecordingRing() = default;
  RecordingRing(const RecordingRing&) = delete;
  RecordingRing& operator=(const RecordingRing&) = delete;

  // Reader: queues one read's `count` bytes and its record. False, with
  // nothing queued, when they do not fit.
  bool Put(const unsigned char* bytes, std::size_t count, TimedRead read) {
    const std::uint64_t head = byteHead_.load(std::memory_order_relaxed);
    const std::uint64_t readHead = readHead_.load(std::memory_order_relaxed);
    const std::uint64_t held = head - byteTail_.load(std::memory_order_acquire);
    if (count > kBytes - held) return false;
    if (readHead - readTail_.load(std::memory_order_acquire) >= kReads) return false;
    const std::size_t at = static_cast<std::size_t>(head % kBytes);
    const std::size_t first = std::min(count, kBytes - at);
    std::memcpy(bytes_ + at, bytes, first);
    std::memcpy(bytes_, bytes + first, count - first);
    reads_[readHead % kReads] = read;
    byteHead_.store(head + count, std::memory_order_release);
    readHead_.store(readHead + 1, std::memory_order_release);
    return true;
  }

  // Writer: the oldest queued bytes that lie in one piece (the rest, if
  // any, start at the ring's beginning); 0 when none are queued.
  std::size_t PeekBytes(const unsigned char** first) const {
    const std::uint64_t tail = byteTail_.load(std::memory_order_relaxed);
    const std::uint64_t held = byteHead_.load(std::memory_order_acquire) - tail;
    const std::size_t at = static_cast<std::size_t>(tail % kBytes);
    *first = bytes_ + at;
    return static_cast<std::size_t>(std::min<std::uint64_t>(held, kBytes - at));
  }
  void DropBytes(std::size_t count) {
    byteTail_.store(byteTail_.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }

  // Writer: how many records are queued; their bytes are all queued too.
  std::size_t QueuedReads() const {
    return static_cast<std::size_t>(readHead_.load(std::memory_order_acquire) -
                                    readTail_.load(std::memory_order_relaxed));
  }
  // The `i`th queued record, i < QueuedReads().
  TimedRead ReadAt(std::size_t i) const { return reads_[(readTail_.load(std::memory_order_relaxed) + i) % kReads]; }
  void DropReads(std::size_t count) {
    readTail_.store(readTail_.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }

  // Empties both rings; only while neither side is using them.
  void Clear() {
    byteHead_.store(0);
    byteTail_.store(0);
    readHead_.store(0);
    readTail_.store(0);
  }

 private:
  unsigned char bytes_[kBytes] = {};
  TimedRead reads_[kReads] = {};
  std::atomic<std::uint64_t> byteHead_{0};
  std::atomic<std::uint64_t> byteTail_{0};
  std::atomic<std::uint64_t> readHead_{0};
  std::atomic<std::uint64_t> readTail_{0};
};

}  // namespace trelvane::recording
