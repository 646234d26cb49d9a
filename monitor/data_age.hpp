// How old the information page's data is. While a link is open and no
// sentence has been accepted for kStaleAfterSeconds, or for three of the
// receiver's fix periods when that is sooner (0.3 s at 10 Hz), the page
// greys its readout, marks and bars and counts the silence in whole
// seconds; the next
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
constexpr std::uint32_t kStaleAfterPeriods = 3;

class DataAge {
 public:
  bool LinkOpened(std::uint32_t now) {
    const bool wasGrey = Grey();
    state_ = State::kOpen;
    lastHeard_ = now;
    silentMs_ = 0;
    return wasGrey;
  }

  // The receiver gives a fix every `periodMs`: silence counts as stale
  // after three of them, or after kStaleAfterSeconds when that is sooner.
  void SetFixPeriodMs(std::uint32_t periodMs) {
    const std::uint32_t periods = periodMs * kStaleAfterPeriods;
    staleMs_ = periods < kStaleAfterSeconds * 1000u ? periods : kStaleAfterSeconds * 1000u;
  }
  // How often Tick is worth calling to see the data go stale in time: once
  // a second, or each fix period when stale comes sooner than three seconds.
  // Stale data only counts whole seconds: a fast receiver that fell silent
  // is looked at once a second, as a slow one is.
  std::uint32_t TickMs() const {
    if (Stale()) return 1000u;
    return staleMs_ / kStaleAfterPeriods < 1000u ? staleMs_ / kStaleAfterPeriods : 1000u;
  }

  // A recording plays: its data is as old as the file says, not as the
  // wall clock does, so the page keeps its colours and counts no silence.
  bool PlaybackOpened() {
    const bool wasGrey = Grey();
    state_ = State::kPlaying;
    silentMs_ = 0;
    return wasGrey;
  }

  bool LinkClosed() {
    const bool changed = state_ != State::kClosed;
    state_ = State::kClosed;
    silentMs_ = 0;
    return changed;
  }

  bool SentenceAccepted(std::uint32_t now) {
    lastHeard_ = now;
    if (state_ != State::kOpen || silentMs_ == 0) return false;
    const bool wasGrey = Grey();
    silentMs_ = 0;
    return wasGrey;
  }

  // The silence so far (unsigned arithmetic is right across the tick's
  // wrap); true when what the page shows changed.
  bool Tick(std::uint32_t now) {
    if (state_ != State::kOpen) return false;
    const bool wasStale = Stale();
    const int wasShown = ShownSeconds();
    silentMs_ = now - lastHeard_;
    return Stale() != wasStale || ShownSeconds() != wasShown;
  }

  // The readout, marks and bars are drawn grey.
  bool Grey() const { return state_ == State::kClosed || Stale(); }
  // The count to show, or -1 for none.
  int ShownSeconds() const {
    if (!Stale()) return -1;
    const std::uint32_t seconds = silentMs_ / 1000u;
    return seconds > 99999u ? 99999 : static_cast<int>(seconds);
  }

 private:
  enum class State { kNeverOpened, kOpen, kPlaying, kClosed };
  bool Stale() const { return state_ == State::kOpen && silentMs_ >= staleMs_; }

  State state_ = State::kNeverOpened;
  std::uint32_t lastHeard_ = 0;
  std::uint32_t silentMs_ = 0;
  std::uint32_t staleMs_ = kStaleAfterSeconds * 1000u;
};

}  // namespace trelvane::monitor
