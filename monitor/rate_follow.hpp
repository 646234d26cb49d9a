// Following the receiver to the port rate the monitor told it to take. The
// command's acknowledgement may come at either rate or be lost, so only the
// sentences decide: once the command has left the port and the receiver had
// a moment to switch, the port moves to the new rate and listens; a valid
// sentence within two seconds is the receiver there. Otherwise the receiver
// did not move (or moved elsewhere), and the port hunts for it through the
// rate list in the scan's order.
//
// The window owns the port and the timer; this decides when and where to.
// Times are the system's millisecond tick, differences modulo 2^32.
#pragma once

#include <cstdint>

#include "receiver/link_settings.hpp"

namespace trelvane::monitor {

class RateFollow {
 public:
  static constexpr std::uint32_t kSettleMs = 50;        // after the command left the port
  static constexpr std::uint32_t kConfirmMs = 2000;     // at the new rate
  static constexpr std::uint32_t kHuntListenMs = 1200;  // at each other rate, as the probe listens
  // Lines read before a switch may still be on their way to the window:
  // what comes this soon after one does not count.
  static constexpr std::uint32_t kStaleMs = 150;
  static constexpr std::uint32_t kIdle = 0xFFFFFFFFu;
  static constexpr std::uint32_t kPollMs = 1000;  // for the receiver's port setting, before the rate is written

  enum class Outcome { kNone, kNowAt, kFoundAt, kNotFound, kNoAnswer };

  // The receiver's port setting was polled at `now`, so that the rate
  // `newBaud` can be written into it: it has kPollMs to answer.
  void StartPoll(unsigned long newBaud, std::uint32_t now) {
    newBaud_ = newBaud;
    phase_ = Phase::kPolling;
    dueAt_ = now + kPollMs;
  }
  // The rate a poll under way is for; 0 when none is.
  unsigned long PolledFor() const { return phase_ == Phase::kPolling ? newBaud_ : 0; }

  // A port-rate command was written at `now` to a port at `oldBaud`; it takes
  // `wireMs` to leave the port. The port is to move to `newBaud`.
  void Start(unsigned long oldBaud, unsigned long newBaud, std::uint32_t now, std::uint32_t wireMs) {
    oldBaud_ = oldBaud;
    newBaud_ = newBaud;
    phase_ = Phase::kSending;
    dueAt_ = now + wireMs + kSettleMs;
    next_ = 0;
  }

  // Forgets a follow under way (the link closed).
  void Stop() { phase_ = Phase::kIdle; }
  bool Active() const { return phase_ != Phase::kIdle; }

  // What falls due at `now`: the rate the port is to move to (0: none), and
  // an outcome once the hunt gave up. Call when WakeAfterMs says.
  unsigned long Due(std::uint32_t now, Outcome& outcome) {
    outcome = Outcome::kNone;
    if (phase_ == Phase::kIdle || static_cast<std::int32_t>(now - dueAt_) < 0) return 0;
    if (phase_ == Phase::kPolling) {  // nothing was written: the port stays
      phase_ = Phase::kIdle;
      outcome = Outcome::kNoAnswer;
      return 0;
    }
    if (phase_ == Phase::kSending) return ListenAt(newBaud_, Phase::kConfirming, now, kConfirmMs);
    const unsigned long rate = NextHuntRate();
    if (rate == 0) {
      phase_ = Phase::kIdle;
      outcome = Outcome::kNotFound;
      return newBaud_;  // where the receiver was told to go: a scan starts there
    }
    return ListenAt(rate, Phase::kHunting, now, kHuntListenMs);
  }

  // A valid sentence came in at `now`: where the port listens, there is the
  // receiver. `baud` gets that rate.
  Outcome Heard(std::uint32_t now, unsigned long& baud) {
    if ((phase_ != Phase::kConfirming && phase_ != Phase::kHunting) || now - switchedAt_ < kStaleMs) {
      return Outcome::kNone;
    }
    baud = listening_;
    const Outcome outcome = phase_ == Phase::kConfirming ? Outcome::kNowAt : Outcome::kFoundAt;
    phase_ = Phase::kIdle;
    return outcome;
  }

  // Milliseconds from `now` until Due is to be called; kIdle when nothing waits.
  std::uint32_t WakeAfterMs(std::uint32_t now) const {
    if (phase_ == Phase::kIdle) return kIdle;
    const std::int32_t left = static_cast<std::int32_t>(dueAt_ - now);
    return left <= 0 ? 1 : static_cast<std::uint32_t>(left);
  }

 private:
  enum class Phase { kIdle, kPolling, kSending, kConfirming, kHunting };

  unsigned long ListenAt(unsigned long baud, Phase phase, std::uint32_t now, std::uint32_t ms) {
    phase_ = phase;
    listening_ = baud;
    switchedAt_ = now;
    dueAt_ = now + ms;
    return baud;
  }

  // The scan's order, less the new rate already listened at.
  unsigned long NextHuntRate() {
    while (next_ < receiver::kHuntRates) {
      const unsigned long rate = receiver::kHuntOrder[next_++];
      if (rate != newBaud_) return rate;
    }
    return 0;
  }

  Phase phase_ = Phase::kIdle;
  unsigned long oldBaud_ = 0;
  unsigned long newBaud_ = 0;
  unsigned long listening_ = 0;
  std::uint32_t dueAt_ = 0;
  std::uint32_t switchedAt_ = 0;
  int next_ = 0;
};

}  // namespace trelvane::monitor
