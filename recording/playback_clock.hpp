// When the bytes of a recorded file are due as it plays back: the clock both
// monitors' playback windows ask, with no file, window or timer of its own.
//
// A window's timer calls Due(now, most) and gets the next (offset, count) of
// bytes that have fallen due, reads them from the file itself and feeds them
// to the monitor session as if the receiver had sent them; it calls again
// until the count is 0. No call allocates; the file is never held whole (a
// recording may be 60 MB): Open reads it once, in small pieces, to index its
// fix cycles.
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

namespace trelvane::link {

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

  // Indexes `file` in one pass and starts it paused at 0, at x1. `reads`
  // (may be null) is the recording's timing, ordered by offset and by time;
  // it stays the caller's and must outlive the clock's use of it.
  OpenResult Open(PlaybackBytes& file, const TimedRead* reads, std::size_t readCount) {
    Reset();
    size_ = file.Size();
    if (size_ > kMaxPlaybackBytes) return OpenResult::kTooLarge;
    if (!IndexCycles(file)) return OpenResult::kUnreadable;
    bool refused = false;
    if (reads != nullptr && readCount > 0) {
      refused = !TimingFits(reads, readCount);
      if (!refused) {
        reads_ = reads;
        readCount_ = readCount;
      }
    }
    if (reads_ != nullptr) {
      pacing_ = Pacing::kTimed;
      lengthMs_ = reads_[readCount_ - 1].ms - reads_[0].ms;
    } else if (cycleLines_ > 0) {
      pacing_ = Pacing::kCycles;
      lengthMs_ = static_cast<std::uint64_t>(cycleStarts_.size()) * kCycleMs;
    } else {
      pacing_ = Pacing::kBytes;
      lengthMs_ = (size_ * 1000 + kUntimedBytesPerSecond - 1) / kUntimedBytesPerSecond;
    }
    return refused ? OpenResult::kTimingRefused : OpenResult::kOpened;
  }

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
  ByteRange Due(std::uint32_t now, std::size_t most) {
    Advance(now);
    ByteRange range;
    range.offset = delivered_;
    const bool racing = speed_ == Speed::kMax && !paused_;
    const std::uint64_t end = racing ? size_ : DueEnd(playMs_);
    if (end <= delivered_) return range;
    range.count = static_cast<std::size_t>(std::min<std::uint64_t>(end - delivered_, most));
    delivered_ += range.count;
    if (racing && range.count > 0) {
      playMs_ = delivered_ == size_ ? lengthMs_ : std::max(playMs_, TimeOf(delivered_ - 1));
    }
    return range;
  }

  // Wall milliseconds from `now` until more bytes fall due (0: some are due
  // now), for a timer to sleep by; kNeverMs when paused with none due, or
  // when all are delivered.
  std::uint32_t MsUntilDue(std::uint32_t now) {
    Advance(now);
    if (delivered_ >= size_) return kNeverMs;
    if ((speed_ == Speed::kMax && !paused_) || DueEnd(playMs_) > delivered_) return 0;
    if (paused_) return kNeverMs;
    const std::uint64_t wait = NextUnitMs(playMs_) - playMs_;
    const std::uint64_t factor = Factor(speed_);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>((wait + factor - 1) / factor, kNeverMs - 1));
  }

  void Play(std::uint32_t now) {
    Advance(now);
    paused_ = false;
  }
  void Pause(std::uint32_t now) {
    Advance(now);
    if (!Ended()) paused_ = true;
  }

  // One cycle, one burst or one second more, while paused.
  void Step() {
    if (!paused_ || Ended()) return;
    if (pacing_ == Pacing::kBytes) {
      playMs_ = std::min(lengthMs_, playMs_ + kCycleMs);
      return;
    }
    std::uint64_t next = NextUnitMs(playMs_);
    if (pacing_ == Pacing::kTimed) {
      // The burst runs on while each read follows the one before it by less
      // than the gap; the reads are ordered by time, so a cursor suffices.
      std::size_t i = ReadAt(next);
      while (i + 1 < readCount_ && reads_[i + 1].ms - reads_[i].ms < kBurstGapMs) ++i;
      next = RelMs(i);
    }
    playMs_ = next;
  }

  void Faster(std::uint32_t now) {
    Advance(now);
    if (speed_ != Speed::kMax) speed_ = static_cast<Speed>(static_cast<int>(speed_) + 1);
  }
  void Slower(std::uint32_t now) {
    Advance(now);
    if (speed_ != Speed::kX1) speed_ = static_cast<Speed>(static_cast<int>(speed_) - 1);
  }

  // Moves play time to `permille` thousandths of the length (1000 and over:
  // the end); paused stays paused. Answers where play takes up again: the
  // bytes before it count as delivered, and the caller feeds them to the
  // monitor itself (from the file's start, so that the page, the log and the
  // accuracy scatter are as played).
  std::uint64_t Seek(std::uint32_t permille, std::uint32_t now) {
    Advance(now);
    playMs_ = lengthMs_ * std::min<std::uint32_t>(permille, 1000) / 1000;
    delivered_ = DueEnd(playMs_);
    return delivered_;
  }

  // "P / L  x2", "P / L  xmax", "P / L  paused" or "L / L  end", times as
  // H:MM:SS, zero-terminated and cut to `capacity` units; answers the length.
  template <class Ch>
  int PositionText(Ch* out, int capacity) const {
    char text[64];
    int n = PutTime(text, playMs_);
    n = PutText(text, n, " / ");
    n = PutTime(text + n, lengthMs_) + n;
    n = PutText(text, n, "  ");
    static const char* const kSpeedText[] = {"x1", "x2", "x5", "x10", "x50", "xmax"};
    n = PutText(text, n, Ended() ? "end" : paused_ ? "paused" : kSpeedText[static_cast<int>(speed_)]);
    if (capacity <= 0) return 0;
    const int kept = std::min(n, capacity - 1);
    for (int i = 0; i < kept; ++i) out[i] = static_cast<Ch>(text[i]);
    out[kept] = Ch(0);
    return kept;
  }

 private:
  void Reset() {
    size_ = 0;
    cycleStarts_.clear();
    cycleLines_ = 0;
    reads_ = nullptr;
    readCount_ = 0;
    pacing_ = Pacing::kBytes;
    lengthMs_ = playMs_ = delivered_ = 0;
    lastTick_ = 0;
    speed_ = Speed::kX1;
    paused_ = true;
  }

  static std::uint64_t Factor(Speed speed) {
    static const std::uint64_t kFactors[] = {1, 2, 5, 10, 50, 1};
    return kFactors[static_cast<int>(speed)];
  }

  void Advance(std::uint32_t now) {
    const std::uint32_t elapsed = now - lastTick_;
    lastTick_ = now;
    if (paused_) return;
    // At xmax play time is that of the bytes taken: once all are, the end,
    // even when the last of them were taken at a slower speed before its
    // play time had come (which would otherwise stand there for good).
    if (speed_ == Speed::kMax) {
      if (delivered_ >= size_) playMs_ = lengthMs_;
      return;
    }
    playMs_ = std::min(lengthMs_, playMs_ + static_cast<std::uint64_t>(elapsed) * Factor(speed_));
  }

  std::uint64_t RelMs(std::size_t read) const { return reads_[read].ms - reads_[0].ms; }

  // The first read due after `playMs`, or readCount_ when none is.
  std::size_t ReadAfter(std::uint64_t playMs) const {
    std::size_t low = 0, high = readCount_;
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      if (RelMs(mid) <= playMs) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    return low;
  }
  std::size_t ReadAt(std::uint64_t playMs) const { return ReadAfter(playMs) - 1; }

  // The cycle holding byte `offset`.
  std::size_t CycleHolding(std::uint64_t offset) const {
    const auto after = std::upper_bound(cycleStarts_.begin(), cycleStarts_.end(), offset);
    return after == cycleStarts_.begin() ? 0 : static_cast<std::size_t>(after - cycleStarts_.begin() - 1);
  }

  // Just past the last byte due at `playMs`.
  std::uint64_t DueEnd(std::uint64_t playMs) const {
    switch (pacing_) {
      case Pacing::kTimed: {
        const std::size_t next = ReadAfter(playMs);
        return next < readCount_ ? reads_[next].offset : size_;
      }
      case Pacing::kCycles: {
        const std::uint64_t next = playMs / kCycleMs + 1;
        return next < cycleStarts_.size() ? cycleStarts_[next] : size_;
      }
      case Pacing::kBytes:
        break;
    }
    return std::min(size_, playMs * kUntimedBytesPerSecond / 1000);
  }

  // When byte `offset` falls due.
  std::uint64_t TimeOf(std::uint64_t offset) const {
    switch (pacing_) {
      case Pacing::kTimed: {
        std::size_t low = 0, high = readCount_;  // the last read starting at or before it
        while (high - low > 1) {
          const std::size_t mid = low + (high - low) / 2;
          if (reads_[mid].offset <= offset) {
            low = mid;
          } else {
            high = mid;
          }
        }
        return RelMs(low);
      }
      case Pacing::kCycles:
        return CycleHolding(offset) * static_cast<std::uint64_t>(kCycleMs);
      case Pacing::kBytes:
        break;
    }
    return ((offset + 1) * 1000 + kUntimedBytesPerSecond - 1) / kUntimedBytesPerSecond;
  }

  // When the next bytes after those due at `playMs` fall due (the length
  // when none are left).
  std::uint64_t NextUnitMs(std::uint64_t playMs) const {
    const std::uint64_t end = DueEnd(playMs);
    return end >= size_ ? lengthMs_ : std::min(lengthMs_, TimeOf(end));
  }

  bool TimingFits(const TimedRead* reads, std::size_t count) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (reads[i].offset > size_) return false;
      if (i > 0 && (reads[i].offset < reads[i - 1].offset || reads[i].ms < reads[i - 1].ms)) return false;
    }
    return true;
  }

  struct Boundaries {
    std::vector<std::uint32_t>& starts;
    void OnCycleStart(std::uint64_t offset) { starts.push_back(static_cast<std::uint32_t>(offset)); }
  };

  bool IndexCycles(PlaybackBytes& file) {
    unsigned char piece[4096];
    link::FixCycleFinder finder;
    Boundaries sink{cycleStarts_};
    if (size_ > 0) cycleStarts_.push_back(0);
    for (std::uint64_t at = 0; at < size_;) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, size_ - at));
      const std::size_t got = file.Read(at, piece, want);
      if (got != want) return false;
      finder.Feed(piece, got, sink);
      at += got;
    }
    finder.Finish(sink);
    cycleStarts_.shrink_to_fit();
    cycleLines_ = finder.CycleLines();
    return true;
  }

  static int PutText(char* text, int n, const char* add) {
    while (*add != 0) text[n++] = *add++;
    return n;
  }

  // H:MM:SS of whole seconds; the hours take as many digits as they need.
  static int PutTime(char* text, std::uint64_t ms) {
    const std::uint64_t seconds = ms / 1000;
    char digits[24];
    int d = 0;
    std::uint64_t hours = seconds / 3600;
    do {
      digits[d++] = static_cast<char>('0' + hours % 10);
      hours /= 10;
    } while (hours > 0);
    int n = 0;
    while (d > 0) text[n++] = digits[--d];
    const unsigned minutes = static_cast<unsigned>(seconds / 60 % 60);
    const unsigned secs = static_cast<unsigned>(seconds % 60);
    const char rest[] = {':', static_cast<char>('0' + minutes / 10), static_cast<char>('0' + minutes % 10),
                         ':', static_cast<char>('0' + secs / 10), static_cast<char>('0' + secs % 10)};
    for (char c : rest) text[n++] = c;
    return n;
  }

  std::uint64_t size_ = 0;
  std::vector<std::uint32_t> cycleStarts_;  // the table: cycle i's first byte, 4 bytes a cycle
  std::uint64_t cycleLines_ = 0;
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

}  // namespace trelvane::link
