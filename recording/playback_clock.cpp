#include "recording/playback_clock.hpp"

namespace trelvane::recording {

int PlaybackClock::PositionAscii(char (&text)[kPositionChars]) const {
  int n = PutTime(text, playMs_);
  n = PutText(text, n, " / ");
  n = PutTime(text + n, lengthMs_) + n;
  n = PutText(text, n, "  ");
  static const char* const kSpeedText[] = {"x1", "x2", "x5", "x10", "x50", "xmax"};
  return PutText(text, n, Ended() ? "end" : paused_ ? "paused" : kSpeedText[static_cast<int>(speed_)]);
}

OpenResult PlaybackClock::Open(PlaybackBytes& file, const TimedRead* reads, std::size_t readCount) {
  OpenResult result = BeginOpen(file, reads, readCount);
  while (result == OpenResult::kIndexing) result = IndexMore(file, kMaxPlaybackBytes);
  return result;
}

OpenResult PlaybackClock::BeginOpen(PlaybackBytes& file, const TimedRead* reads, std::size_t readCount) {
  Reset();
  size_ = file.Size();
  if (size_ > kMaxPlaybackBytes) return OpenResult::kTooLarge;
  if (reads != nullptr && readCount > 0) {
    refused_ = !TimingFits(reads, readCount);
    if (!refused_) {
      reads_ = reads;
      readCount_ = readCount;
    }
  }
  // A timed recording is paced by its reads alone, so it is not read through
  // to find its cycles: a day's file opens at once. Its two ends are read,
  // so that one that cannot be read is known now as any other is.
  if (reads_ != nullptr) {
    if (!EndsReadable(file)) {
      Reset();
      return OpenResult::kUnreadable;
    }
    pacing_ = Pacing::kTimed;
    lengthMs_ = reads_[readCount_ - 1].ms - reads_[0].ms;
    return refused_ ? OpenResult::kTimingRefused : OpenResult::kOpened;
  }
  finder_ = FixCycleFinder();
  if (size_ > 0) cycleStarts_.push_back(0);
  indexed_ = 0;
  return OpenResult::kIndexing;
}

OpenResult PlaybackClock::IndexMore(PlaybackBytes& file, std::uint64_t most) {
  unsigned char piece[4096];
  Boundaries sink{cycleStarts_};
  const std::uint64_t end = size_ - indexed_ > most ? indexed_ + most : size_;
  while (indexed_ < end) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, end - indexed_));
    if (file.Read(indexed_, piece, want) != want) {
      Reset();
      return OpenResult::kUnreadable;
    }
    finder_.Feed(piece, want, sink);
    indexed_ += want;
  }
  if (indexed_ < size_) return OpenResult::kIndexing;
  finder_.Finish(sink);
  cycleStarts_.shrink_to_fit();
  cycleLines_ = finder_.CycleLines();
  if (cycleLines_ > 0) {
    pacing_ = Pacing::kCycles;
    lengthMs_ = static_cast<std::uint64_t>(cycleStarts_.size()) * kCycleMs;
  } else {
    pacing_ = Pacing::kBytes;
    lengthMs_ = (size_ * 1000 + kUntimedBytesPerSecond - 1) / kUntimedBytesPerSecond;
  }
  return refused_ ? OpenResult::kTimingRefused : OpenResult::kOpened;
}

ByteRange PlaybackClock::Due(std::uint32_t now, std::size_t most) {
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

std::uint32_t PlaybackClock::MsUntilDue(std::uint32_t now) {
  Advance(now);
  if (delivered_ >= size_) return kNeverMs;
  if ((speed_ == Speed::kMax && !paused_) || DueEnd(playMs_) > delivered_) return 0;
  if (paused_) return kNeverMs;
  const std::uint64_t wait = NextUnitMs(playMs_) - playMs_;
  const std::uint64_t factor = Factor(speed_);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>((wait + factor - 1) / factor, kNeverMs - 1));
}

void PlaybackClock::Play(std::uint32_t now) {
  Advance(now);
  paused_ = false;
}

void PlaybackClock::Pause(std::uint32_t now) {
  Advance(now);
  if (!Ended()) paused_ = true;
}

void PlaybackClock::Step() {
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

void PlaybackClock::Faster(std::uint32_t now) {
  Advance(now);
  if (speed_ != Speed::kMax) speed_ = static_cast<Speed>(static_cast<int>(speed_) + 1);
}

void PlaybackClock::Slower(std::uint32_t now) {
  Advance(now);
  if (speed_ != Speed::kX1) speed_ = static_cast<Speed>(static_cast<int>(speed_) - 1);
}

std::uint64_t PlaybackClock::Seek(std::uint32_t permille, std::uint32_t now) {
  Advance(now);
  playMs_ = lengthMs_ * std::min<std::uint32_t>(permille, 1000) / 1000;
  delivered_ = DueEnd(playMs_);
  return delivered_;
}

void PlaybackClock::Reset() {
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
  indexed_ = 0;
  refused_ = false;
}

std::uint64_t PlaybackClock::Factor(Speed speed) {
  static const std::uint64_t kFactors[] = {1, 2, 5, 10, 50, 1};
  return kFactors[static_cast<int>(speed)];
}

void PlaybackClock::Advance(std::uint32_t now) {
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

std::size_t PlaybackClock::ReadAfter(std::uint64_t playMs) const {
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

std::size_t PlaybackClock::CycleHolding(std::uint64_t offset) const {
  const auto after = std::upper_bound(cycleStarts_.begin(), cycleStarts_.end(), offset);
  return after == cycleStarts_.begin() ? 0 : static_cast<std::size_t>(after - cycleStarts_.begin() - 1);
}

std::uint64_t PlaybackClock::DueEnd(std::uint64_t playMs) const {
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

std::uint64_t PlaybackClock::TimeOf(std::uint64_t offset) const {
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

std::uint64_t PlaybackClock::NextUnitMs(std::uint64_t playMs) const {
  const std::uint64_t end = DueEnd(playMs);
  return end >= size_ ? lengthMs_ : std::min(lengthMs_, TimeOf(end));
}

bool PlaybackClock::TimingFits(const TimedRead* reads, std::size_t count) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (reads[i].offset > size_) return false;
    if (i > 0 && (reads[i].offset < reads[i - 1].offset || reads[i].ms < reads[i - 1].ms)) return false;
  }
  return true;
}

bool PlaybackClock::EndsReadable(PlaybackBytes& file) const {
  unsigned char piece[4096];
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, size_));
  return file.Read(0, piece, want) == want && file.Read(size_ - want, piece, want) == want;
}

int PlaybackClock::PutText(char* text, int n, const char* add) {
  while (*add != 0) text[n++] = *add++;
  return n;
}

int PlaybackClock::PutTime(char* text, std::uint64_t ms) {
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

}  // namespace trelvane::recording
