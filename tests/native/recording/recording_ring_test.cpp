// The queue from the reader to a recording's writer: whole reads or none,
// and every byte in order between two threads, across the ring's end many
// times over.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "recording/recording_ring.hpp"

namespace trelvane::recording {
namespace {

// Byte i of a recording made of Pattern bytes; no stretch of it repeats at
// the ring's size, so bytes put in the wrong place show.
unsigned char PatternAt(std::uint64_t i) { return static_cast<unsigned char>((i * 2654435761u) >> 24); }

std::vector<unsigned char> Pattern(std::uint64_t from, std::size_t count) {
  std::vector<unsigned char> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = PatternAt(from + i);
  return bytes;
}

// Takes every queued byte, as the writer does: each piece, then the next.
std::vector<unsigned char> DrainBytes(recording::RecordingRing& ring) {
  std::vector<unsigned char> taken;
  const unsigned char* first = nullptr;
  for (std::size_t n = ring.PeekBytes(&first); n > 0; n = ring.PeekBytes(&first)) {
    taken.insert(taken.end(), first, first + n);
    ring.DropBytes(n);
  }
  return taken;
}

TEST(RecordingRing, ARefusedReadLeavesNothingOfItselfQueued) {
  auto ring = std::make_unique<recording::RecordingRing>();
  struct Case {
    const char* what;
    std::size_t queuedBytes;  // in one read each, before the read tried
    std::size_t queuedReads;
    std::size_t tried;
    bool fits;
  };
  const Case cases[] = {
      {"exactly the room left", RecordingRing::kBytes - 10, 1, 10, true},
      {"a byte more than the room", RecordingRing::kBytes - 10, 1, 11, false},
      {"more than the whole ring", 0, 0, RecordingRing::kBytes + 1, false},
      {"the last record slot", RecordingRing::kReads - 1, RecordingRing::kReads - 1, 1, true},
      {"no record slot left", RecordingRing::kReads, RecordingRing::kReads, 1, false},
  };
  const std::vector<unsigned char> bytes = Pattern(0, RecordingRing::kBytes + 1);
  for (const Case& c : cases) {
    ring->Clear();
    for (std::size_t i = 0; i < c.queuedReads; ++i) {
      const std::size_t count = c.queuedBytes / c.queuedReads + (i == 0 ? c.queuedBytes % c.queuedReads : 0);
      ASSERT_TRUE(ring->Put(bytes.data(), count, recording::TimedRead{0, 0})) << c.what;
    }
    EXPECT_EQ(ring->Put(bytes.data(), c.tried, recording::TimedRead{7, 7}), c.fits) << c.what;
    const std::size_t reads = ring->QueuedReads();
    const std::size_t held = DrainBytes(*ring).size();
    EXPECT_EQ(reads, c.queuedReads + (c.fits ? 1 : 0)) << c.what;
    EXPECT_EQ(held, c.queuedBytes + (c.fits ? c.tried : 0)) << c.what;
  }
}

// The reader puts reads of many sizes as fast as the ring takes them; the
// writer drains at its own pace. Every byte arrives once, in order, and each
// record names where its read starts. A ring that loses its count would spin
// for ever: both sides give up after a bound far above the run's few
// milliseconds.
TEST(RecordingRing, TwoThreadsPassEveryByteOnceInOrder) {
  auto ring = std::make_unique<recording::RecordingRing>();
  constexpr std::uint64_t kTotal = 3u * 1024 * 1024;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::atomic<bool> abandoned{false};
  std::thread reader([&] {
    std::uint64_t sent = 0;
    std::uint32_t n = 0;
    while (sent < kTotal && !abandoned) {
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(1 + (n * 37u) % 1500, kTotal - sent));
      const std::vector<unsigned char> read = Pattern(sent, count);
      if (!ring->Put(read.data(), count, recording::TimedRead{static_cast<std::uint32_t>(sent), n})) {
        std::this_thread::yield();
        continue;
      }
      sent += count;
      ++n;
    }
  });

  std::uint64_t taken = 0;
  std::uint64_t lastOffset = 0;
  std::uint32_t records = 0;
  bool inOrder = true;
  while (taken < kTotal || ring->QueuedReads() > 0) {
    const std::size_t reads = ring->QueuedReads();  // before the bytes: theirs are all queued
    const unsigned char* first = nullptr;
    for (std::size_t n = ring->PeekBytes(&first); n > 0; n = ring->PeekBytes(&first)) {
      for (std::size_t i = 0; i < n; ++i) inOrder = inOrder && first[i] == PatternAt(taken + i);
      taken += n;
      ring->DropBytes(n);
    }
    for (std::size_t i = 0; i < reads; ++i) {
      const TimedRead read = ring->ReadAt(i);
      inOrder = inOrder && read.ms == records && read.offset < taken && (records == 0 || read.offset > lastOffset);
      lastOffset = read.offset;
      ++records;
    }
    ring->DropReads(reads);
    if (!inOrder || std::chrono::steady_clock::now() > deadline) break;
  }
  abandoned = true;
  reader.join();
  EXPECT_TRUE(inOrder) << "at byte " << taken << ", record " << records;
  EXPECT_EQ(taken, kTotal);
  EXPECT_GT(records, kTotal / 1500);
}

}  // namespace
}  // namespace trelvane::recording
