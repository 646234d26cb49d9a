// The receiver's clock against the PC's: for each fix cycle with a time (and
// once the receiver has given a date), its UTC minus the PC's UTC at the
// moment the cycle's first line came in. A receiver whose lines arrive late
// (the wire, a buffering adapter) reads negative. The median and the spread
// (10th to 90th percentile) over the last 60 cycles are shown.
//
// Both clocks are taken as times of day and their difference brought into
// half a day either way, so a cycle that crosses midnight on one clock and
// not yet on the other still counts its true difference.
#pragma once

#include <cstdint>
#include <cstdio>

#include "nmea/text.hpp"

namespace trelvane::monitor {

constexpr int kClockCycles = 60;
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
constexpr double kClockWarnSeconds = 1.0;

class ClockOffset {
 public:
  // A fix cycle's time of day (ms) on the receiver, and the PC's UTC (ms of
  // any epoch whose days start at midnight, as Unix time's do) when its first
  // line came in.
  void Cycle(std::int64_t receiverDayMs, std::int64_t pcUtcMs) {
    std::int64_t offset = (receiverDayMs - pcUtcMs % kDayMs) % kDayMs;
    if (offset >= kDayMs / 2) offset -= kDayMs;
    if (offset < -kDayMs / 2) offset += kDayMs;
    offsets_[next_] = static_cast<std::int32_t>(offset);
    next_ = (next_ + 1) % kClockCycles;
    if (count_ < kClockCycles) ++count_;
  }
  void Reset() { count_ = next_ = 0; }
  int Count() const { return count_; }

  // The median and the spread in ms; false before the first cycle.
  bool Figures(double& medianMs, double& spreadMs) const {
    if (count_ == 0) return false;
    std::int32_t sorted[kClockCycles];
    for (int i = 0; i < count_; ++i) sorted[i] = offsets_[i];
    for (int i = 1; i < count_; ++i) {
      for (int j = i; j > 0 && sorted[j] < sorted[j - 1]; --j) {
        const std::int32_t t = sorted[j];
        sorted[j] = sorted[j - 1];
        sorted[j - 1] = t;
      }
    }
    medianMs = count_ % 2 == 1 ? sorted[count_ / 2] : (sorted[count_ / 2 - 1] + static_cast<double>(sorted[count_ / 2])) / 2;
    spreadMs = static_cast<double>(sorted[Rank(90)]) - sorted[Rank(10)];
    return true;
  }

  // "Receiver time - PC clock: -0.254 s (spread 0.012 s, 60 cycles)", and on
  // a second line, when they are more than a second apart, which is behind.
  template <class Ch>
  void Format(Ch* out, int capacity) const {
    nmea::TextBuilder<Ch> builder(out, capacity);
    double median = 0;
    double spread = 0;
    if (!Figures(median, spread)) {
      builder.AppendAscii("Receiver time - PC clock: no cycle with a time and date yet");
      return;
    }
    char text[128];
    std::snprintf(text, sizeof text, "Receiver time - PC clock: %.3f s (spread %.3f s, %d cycles)", median / 1000.0,
                  spread / 1000.0, count_);
    builder.AppendAscii(text);
    if (median / 1000.0 > kClockWarnSeconds || median / 1000.0 < -kClockWarnSeconds) {
      std::snprintf(text, sizeof text, "\r\nPC clock is %.1f s %s the receiver", (median < 0 ? -median : median) / 1000.0,
                    median > 0 ? "behind" : "ahead of");
      builder.AppendAscii(text);
    }
  }

 private:
  // The nearest-rank percentile's index among count_ sorted offsets.
  int Rank(int percent) const {
    const int rank = (percent * count_ + 99) / 100;  // 1-based, rounded up
    return rank < 1 ? 0 : rank - 1;
  }

  std::int32_t offsets_[kClockCycles] = {};
  int next_ = 0;
  int count_ = 0;
};

}  // namespace trelvane::monitor
