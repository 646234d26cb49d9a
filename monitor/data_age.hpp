// How old the information page's data is. While a link is open and no
// sentence has been accepted for kStaleAfterSeconds, the page greys its
// readout, marks and bars and counts the silence in whole seconds; the next
// accepted sentence brings the normal colours back. Once a link has been
// closed the page keeps what it showed, grey, without a count. A page that
// has never had a link open draws as it always has.
//
// The page keeps the age it shows; the monitor session alone changes it.
// Times are the system's millisecond tick; the session's one-second tick
// calls Tick while a link is open. Each call says whether the page must
// repaint.
#pragma once

#include <cstdint>

namespace trelvane::monitor {

constexpr std::uint32_t kStaleAfterSeconds = 3;

class DataAge {
 public:
  bool LinkOpened(std::uint32_t now) {
    const bool wasGrey = Grey();
    state_ = State::kOpen;
    lastHeard_ = now;
    silentSeconds_ = 0;
    return wasGrey;
  }

  // A recording plays: its data is as old as the file says, not as the
  // wall clock does, so the page keeps its colours and counts no silence.
  bool PlaybackOpened() {
    const bool wasGrey = Grey();
    state_ = State::kPlaying;
    silentSeconds_ = 0;
    return wasGrey;
  }

  bool LinkClosed() {
    const bool changed = state_ != State::kClosed;
    state_ = State::kClosed;
    silentSeconds_ = 0;
    return changed;
  }

  bool SentenceAccepted(std::uint32_t now) {
    lastHeard_ = now;
    if (state_ != State::kOpen || silentSeconds_ == 0) return false;
    const bool wasGrey = Grey();
    silentSeconds_ = 0;
    return wasGrey;
  }

  // Seconds of silence so far (unsigned arithmetic is right across the
  // tick's wrap); true when what the page shows changed.
  bool Tick(std::uint32_t now) {
    if (state_ != State::kOpen) return false;
    const std::uint32_t seconds = (now - lastHeard_) / 1000u;
    const bool changed = seconds != silentSeconds_ && (seconds >= kStaleAfterSeconds || Grey());
    silentSeconds_ = seconds;
    return changed;
  }

  // The readout, marks and bars are drawn grey.
  bool Grey() const {
    return state_ == State::kClosed || (state_ == State::kOpen && silentSeconds_ >= kStaleAfterSeconds);
  }
  // The count to show, or -1 for none.
  int ShownSeconds() const {
    if (state_ != State::kOpen || silentSeconds_ < kStaleAfterSeconds) return -1;
    return silentSeconds_ > 99999u ? 99999 : static_cast<int>(silentSeconds_);
  }

 private:
  enum class State { kNeverOpened, kOpen, kPlaying, kClosed };
  State state_ = State::kNeverOpened;
  std::uint32_t lastHeard_ = 0;
  std::uint32_t silentSeconds_ = 0;
};

}  // namespace trelvane::monitor
