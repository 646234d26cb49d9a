// How a corrections stream stands, for the status line a user watches: the
// caster's state, the rate and the message types of what flowed, the age of
// the last whole frame, and when a lost stream is tried again. Portable; the
// client's thread keeps a CorrectionsFlow and the window reads a copy of it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "corrections/port_queue.hpp"

namespace trelvane::corrections {

// Waits before another try at a caster: 1, 2, 4 ... 60 s. A caster bans a
// client that comes back too often, so the wait only shrinks again once a
// connection has brought corrections for a minute: one that sends a frame
// and closes is tried no faster than one that sends nothing.
class Backoff {
 public:
  static constexpr std::uint32_t kFirstMs = 1000;
  static constexpr std::uint32_t kLongestMs = 60000;
  static constexpr std::uint32_t kSteadyFlowMs = 60000;
  std::uint32_t NextMs() {
    const std::uint32_t wait = next_;
    next_ = next_ >= kLongestMs / 2 ? kLongestMs : next_ * 2;
    return wait;
  }
  // The connection just lost brought frames for `flowedMs` (from its first
  // frame to its last).
  void Flowed(std::uint32_t flowedMs) {
    if (flowedMs >= kSteadyFlowMs) next_ = kFirstMs;
  }

 private:
  std::uint32_t next_ = kFirstMs;
};

enum class CasterState {
  kOff,
  kConnecting,
  kFlowing,
  kLoginRefused,  // 401: not tried again until the user connects again
  kNoMountpoint,  // the caster answered with its table
  kWaiting,       // lost; tried again at retryAtMs
};

constexpr std::uint32_t kTypesWindowMs = 10000;
constexpr std::uint32_t kSilentCasterMs = 10000;

class CorrectionsFlow {
 public:
  static constexpr int kTypeSlots = 32;
  static constexpr int kRateSeconds = 10;

  CasterState state = CasterState::kOff;
  char host[128] = {};
  char mountpoint[101] = {};
  char reason[96] = {};          // why it was lost, while kWaiting
  std::uint32_t retryAtMs = 0;   // while kWaiting
  unsigned long bytes = 0, frames = 0;  // written to the receiver
  unsigned long dropped = 0;            // bytes of no whole frame, or given up for a port too slow
  unsigned long portBaud = 0;           // the receiver's port's rate; 0 for a link without one

  // A whole frame of `type`, `length` bytes, arrived from the caster at
  // `now`: the rate, the types and the age are the mountpoint's, whatever
  // the port could take of it.
  void TakeFrame(int type, int length, std::uint32_t now) {
    lastFrameMs_ = now;
    anyFrame_ = true;
    Bucket(now) += static_cast<std::uint32_t>(length);
    int slot = -1;
    for (int i = 0; i < typeCount_; ++i) {
      if (types_[i].type == type) slot = i;
    }
    if (slot < 0 && typeCount_ < kTypeSlots) slot = typeCount_++;
    if (slot < 0) {  // full: the longest unseen gives way
      slot = 0;
      for (int i = 1; i < kTypeSlots; ++i) {
        if (types_[i].lastMs - types_[slot].lastMs > 0x80000000u) slot = i;
      }
    }
    types_[slot] = {type, now};
  }

  // A frame of `length` bytes went whole into the receiver's port.
  void Written(int length) {
    bytes += static_cast<unsigned long>(length);
    ++frames;
  }

  // Whether the mountpoint's rate over the last seconds fits the port.
  bool Fits(std::uint32_t now) const { return FitsPort(RateBytesPerSecond(now), portBaud); }

  // Milliseconds since the last whole frame arrived; false when none came.
  bool FrameAge(std::uint32_t now, std::uint32_t& ageMs) const {
    ageMs = now - lastFrameMs_;
    return anyFrame_;
  }

  // The status line's text at `now`, zero-terminated within `capacity`:
  //   Corrections: MOUNT 1.2 kB/s, 1005 1077, 1 s old
  //   Corrections: MOUNT 2.4 kB/s does not fit 9600 baud, 1005 1077, 1 s old
  //   Corrections: connecting to HOST
  //   Corrections: caster refused the login
  //   Corrections: no mountpoint NAME
  //   Corrections: reconnecting in N s (REASON)
  // and empty while off.
  void StatusText(std::uint32_t now, char* out, int capacity) const {
    if (capacity <= 0) return;
    const auto size = static_cast<std::size_t>(capacity);
    out[0] = '\0';
    switch (state) {
      case CasterState::kOff:
        return;
      case CasterState::kConnecting:
        std::snprintf(out, size, "Corrections: connecting to %s", host);
        return;
      case CasterState::kLoginRefused:
        std::snprintf(out, size, "Corrections: caster refused the login");
        return;
      case CasterState::kNoMountpoint:
        std::snprintf(out, size, "Corrections: no mountpoint %s", mountpoint);
        return;
      case CasterState::kWaiting: {
        const std::uint32_t left = retryAtMs - now < 0x80000000u ? retryAtMs - now : 0;
        std::snprintf(out, size, "Corrections: reconnecting in %u s (%s)", static_cast<unsigned>((left + 999) / 1000),
                      reason);
        return;
      }
      case CasterState::kFlowing:
        break;
    }
    const double rate = RateBytesPerSecond(now);
    int n = FitsPort(rate, portBaud)
                ? std::snprintf(out, size, "Corrections: %s %.1f kB/s,", mountpoint, rate / 1000.0)
                : std::snprintf(out, size, "Corrections: %s %.1f kB/s does not fit %lu baud,", mountpoint,
                                rate / 1000.0, portBaud);
    int seen[kTypeSlots];
    int count = 0;
    for (int i = 0; i < typeCount_; ++i) {
      if (now - types_[i].lastMs < kTypesWindowMs) seen[count++] = types_[i].type;
    }
    for (int i = 1; i < count; ++i) {  // a handful: insertion sort
      for (int j = i; j > 0 && seen[j - 1] > seen[j]; --j) {
        const int t = seen[j];
        seen[j] = seen[j - 1];
        seen[j - 1] = t;
      }
    }
    for (int i = 0; i < count && n > 0 && n < capacity; ++i) {
      n += std::snprintf(out + n, size - static_cast<std::size_t>(n), " %d", seen[i]);
    }
    if (n > 0 && n < capacity) {
      std::uint32_t age = 0;
      if (FrameAge(now, age)) {
        std::snprintf(out + n, size - static_cast<std::size_t>(n), ", %u s old", static_cast<unsigned>(age / 1000));
      } else {
        std::snprintf(out + n, size - static_cast<std::size_t>(n), ", nothing yet");
      }
    }
  }

  // Bytes a second over the last kRateSeconds whole seconds (fewer while
  // the stream is younger).
  double RateBytesPerSecond(std::uint32_t now) const {
    const std::uint32_t second = now / 1000;
    std::uint32_t sum = 0;
    for (const Second& s : seconds_) {
      if (second - s.second <= static_cast<std::uint32_t>(kRateSeconds) && s.second != second) sum += s.bytes;
    }
    const std::uint32_t span = second - firstSecond_;
    const std::uint32_t over = span == 0 ? 1 : span < kRateSeconds ? span : kRateSeconds;
    return static_cast<double>(sum) / over;
  }

  // A new connection: the counts go on, the rate and types start again.
  void Restart(std::uint32_t now) {
    for (Second& s : seconds_) s = Second{};
    typeCount_ = 0;
    anyFrame_ = false;
    firstSecond_ = now / 1000;
  }

 private:
  struct Seen {
    int type;
    std::uint32_t lastMs;
  };
  struct Second {
    std::uint32_t second = ~0u;
    std::uint32_t bytes = 0;
  };

  std::uint32_t& Bucket(std::uint32_t now) {
    Second& s = seconds_[(now / 1000) % (kRateSeconds + 1)];
    if (s.second != now / 1000) s = Second{now / 1000, 0};
    return s.bytes;
  }

  Seen types_[kTypeSlots] = {};
  int typeCount_ = 0;
  Second seconds_[kRateSeconds + 1];
  std::uint32_t firstSecond_ = 0;
  std::uint32_t lastFrameMs_ = 0;
  bool anyFrame_ = false;
};

// The receiver's own answer from its GGA, for the Setup page's line:
// "receiver RTK fixed", "receiver RTK float", "receiver DGPS" or "receiver
// no RTK", with the age of the corrections in brackets when the GGA gives one.
inline void ReceiverAnswerText(int quality, bool haveAge, double ageSeconds, char* out, int capacity) {
  if (capacity <= 0) return;
  const char* name = quality == 4 ? "RTK fixed" : quality == 5 ? "RTK float" : quality == 2 ? "DGPS" : "no RTK";
  if (haveAge) {
    std::snprintf(out, static_cast<std::size_t>(capacity), "receiver %s (%.1f s)", name, ageSeconds);
  } else {
    std::snprintf(out, static_cast<std::size_t>(capacity), "receiver %s", name);
  }
}

}  // namespace trelvane::corrections
