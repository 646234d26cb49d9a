// When the bytes of a recorded file are due as it plays back: the clock both
// monitors' playback windows ask, with no file, window or timer of its own.
//
// A window's timer calls Due(now, most) and gets the next (offset, count) of
// bytes that have fallen due, reads them from the file itself and feeds them
// to the monitor session as if the receiver had sent them; it calls again
// until the count is 0. No call allocates; the file is never held whole (a
// day's recording is over a gigabyte): Open reads one without timing once,
// in small pieces, to index its fix cycles.
//
// Three pacings, chosen at Open:
// - timed: the recording has its timing (each read's offset and time), and
//   every read is due when it was read, gaps, bursts and silences included;
//   the length is the last read's time less the first's;
// - cycles: no timing, but fix cycles (recording/fix_cycles.hpp): cycle k,
//   from 0, is due at k seconds, and the length is a second per cycle;
// - bytes: neither: the bytes arrive as at 9600 baud, 960 a second.
//
// Play time runs at x1, x2, x5, x10 or x50 of the wall's; at xmax every call
// answers more, as fast as the caller takes it. Paused, play time stands
// still; Step then moves it to the next cycle (cycles), the next burst of
// reads (timed: reads under 20 ms apart) or a second on (bytes). At the
// length the playback has ended: Pause and Step do nothing.
//
// Times from the caller are milliseconds of the system's 32-bit tick;
// differences are taken modulo 2^32, as the monitor session takes them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording/fix_cycles.hpp"

namespace trelvane::recording {

// The recorded file, read where its bytes lie.
class PlaybackBytes {
 public:
  virtual std::uint64_t Size() const = 0;
  // Copies up to `capacity` bytes from `offset`; answers how many (0 on failure).
  virtual std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) = 0;

 protected:
  ~PlaybackBytes() = default;
};

// One read as recorded: where its bytes start in the file, and when it was
// made, in milliseconds since the recording's first read.
struct TimedRead {
  std::uint32_t offset;
  std::uint32_t ms;
};

enum class Pacing { kTimed, kCycles, kBytes };

enum class Speed { kX1, kX2, kX5, kX10, kX50, kMax };

struct ByteRange {
  std::uint64_t offset = 0;
  std::size_t count = 0;
};

enum class OpenResult {
  kOpened,
  kTimingRefused,  // the timing did not fit the file (out of order, past its end): played without it
  kTooLarge,       // more than kMaxPlaybackBytes
  kUnreadable,     // a read came back short
  kIndexing,       // a file without timing is being read for its cycles: IndexMore goes on
};

// Offsets are kept in 32 bits, which is what keeps the cycle table compact.
constexpr std::uint64_t kMaxPlaybackBytes = 0xFFFFFFFFu;
constexpr std::uint32_t kUntimedBytesPerSecond = 960;  // 9600 baud, 10 bits a byte
constexpr std::uint32_t kBurstGapMs = 20;
constexpr std::uint32_t kCycleMs = 1000;
constexpr std::uint32_t kNeverMs = 0xFFFFFFFFu;

class PlaybackClock {
 public:
  PlaybackClock() = default;
  PlaybackClock(const PlaybackClock&) = delete;
  PlaybackClock& operator=(const PlaybackClock&) = delete;

  // Starts `file` paused at 0, at x1; without timing, its fix cycles are
  // indexed first, in one pass. `reads`
  // (may be null) is the recording's timing, ordered by offset and by time;
  // it stays the caller's and must outlive the clock's use of it.
  OpenResult Open(PlaybackBytes& file, const TimedRead* reads, std::size_t readCount);

  // Open in steps, for a caller that must not be held while a large file
  // without timing is read through: BeginOpen answers kIndexing for such a
  // file, and each IndexMore reads at most `most` more bytes of it, until
  // it answers what Open would have.
  OpenResult BeginOpen(PlaybackBytes& file, const TimedRead* reads, std::size_t readCount);
  OpenResult IndexMore(PlaybackBytes& file, std::uint64_t most);

  Pacing pacing() const { return pacing_; }
  std::uint64_t LengthMs() const { return lengthMs_; }
  std::uint64_t PositionMs() const { return playMs_; }
  std::uint64_t Delivered() const { return delivered_; }
  std::size_t CycleCount() const { return cycleStarts_.size(); }
  Speed speed() const { return speed_; }
  bool Paused() const { return paused_; }
  bool Ended() const { return playMs_ >= lengthMs_; }

  // The next bytes due at `now`, at most `most` of them; a count of 0 when
  // none are. The bytes answered count as delivered.
  ByteRange Due(std::uint32_t now, std::size_t most);

  // Wall milliseconds from `now` until more bytes fall due (0: some are due
  // now), for a timer to sleep by; kNeverMs when paused with none due, or
  // when all are delivered.
  std::uint32_t MsUntilDue(std::uint32_t now);

  void Play(std::uint32_t now);
  void Pause(std::uint32_t now);

  // One cycle, one burst or one second more, while paused.
  void Step();

  void Faster(std::uint32_t now);
  void Slower(std::uint32_t now);

  // Moves play time to `permille` thousandths of the length (1000 and over:
  // the end); paused stays paused. Answers where play takes up again: the
  // bytes before it count as delivered, and the caller feeds them to the
  // monitor itself (from the file's start, so that the page, the log and the
  // accuracy scatter are as played).
  std::uint64_t Seek(std::uint32_t permille, std::uint32_t now);

  // "P / L  x2", "P / L  xmax", "P / L  paused" or "L / L  end", times as
  // H:MM:SS, zero-terminated and cut to `capacity` units; answers the length.
  template <class Ch>
  int PositionText(Ch* out, int capacity) const {
    char text[kPositionChars];
    const int n = PositionAscii(text);
    if (capacity <= 0) return 0;
    const int kept = std::min(n, capacity - 1);
    for (int i = 0; i < kept; ++i) out[i] = static_cast<Ch>(text[i]);
    out[kept] = Ch(0);
    return kept;
  }

 private:
  void Reset();

  static std::uint64_t Factor(Speed speed);

  void Advance(std::uint32_t now);

  std::uint64_t RelMs(std::size_t read) const { return reads_[read].ms - reads_[0].ms; }

  // The first read due after `playMs`, or readCount_ when none is.
  std::size_t ReadAfter(std::uint64_t playMs) const;
  std::size_t ReadAt(std::uint64_t playMs) const { return ReadAfter(playMs) - 1; }

  // The cycle holding byte `offset`.
  std::size_t CycleHolding(std::uint64_t offset) const;

  // Just past the last byte due at `playMs`.
  std::uint64_t DueEnd(std::uint64_t playMs) const;

  // When byte `offset` falls due.
  std::uint64_t TimeOf(std::uint64_t offset) const;

  // When the next bytes after those due at `playMs` fall due (the length
  // when none are left).
  std::uint64_t NextUnitMs(std::uint64_t playMs) const;

  bool TimingFits(const TimedRead* reads, std::size_t count) const;

  struct Boundaries {
    std::vector<std::uint32_t>& starts;
    void OnCycleStart(std::uint64_t offset) { starts.push_back(static_cast<std::uint32_t>(offset)); }
  };

  bool EndsReadable(PlaybackBytes& file) const;

  // The position text in ASCII, unterminated; answers its length.
  static constexpr int kPositionChars = 64;
  int PositionAscii(char (&text)[kPositionChars]) const;

  static int PutText(char* text, int n, const char* add);

  // H:MM:SS of whole seconds; the hours take as many digits as they need.
  static int PutTime(char* text, std::uint64_t ms);

  std::uint64_t size_ = 0;
  std::vector<std::uint32_t> cycleStarts_;  // the table: cycle i's first byte, 4 bytes a cycle
  std::uint64_t cycleLines_ = 0;
  FixCycleFinder finder_;     // while indexing
  std::uint64_t indexed_ = 0;  // bytes indexed so far
  bool refused_ = false;       // the timing did not fit the file
  const TimedRead* reads_ = nullptr;
  std::size_t readCount_ = 0;
  Pacing pacing_ = Pacing::kBytes;
  std::uint64_t lengthMs_ = 0;
  std::uint64_t playMs_ = 0;
  std::uint64_t delivered_ = 0;
  std::uint32_t lastTick_ = 0;
  Speed speed_ = Speed::kX1;
  bool paused_ = true;
};

}  // namespace trelvane::recording
