// How fast the receiver gives fixes, read from the time of day its fixes
// carry: the step from one fix's time to the next (a receiver at 10 Hz
// steps 0.1 s). Fixes of the same epoch (an RMC and a GGA of one time) do
// not step; a step of a second or more, or none yet, is 1 Hz.
#pragma once

#include <cstdint>

namespace trelvane::monitor {

class FixPace {
 public:
  static constexpr std::uint32_t kSlowestMs = 1000;
  static constexpr std::uint32_t kFastestMs = 50;

  // A fix of `secondsOfDay` (UTC) was taken; true when the period changed.
  bool Take(double secondsOfDay) {
    const bool had = has_;
    const double last = last_;
    has_ = true;
    last_ = secondsOfDay;
    if (!had) return false;
    double step = secondsOfDay - last;
    if (step < 0) step += 86400.0;  // past midnight
    if (step <= 0.0005) return false;
    std::uint32_t period = step >= 1.0 ? kSlowestMs : static_cast<std::uint32_t>(step * 1000.0 + 0.5);
    if (period < kFastestMs) period = kFastestMs;
    const bool changed = period != periodMs_;
    periodMs_ = period;
    return changed;
  }

  void Forget() { *this = FixPace{}; }

  std::uint32_t PeriodMs() const { return periodMs_; }
  // Fixes a second, rounded: 10 for a 100 ms period.
  unsigned Hz() const { return static_cast<unsigned>((1000 + periodMs_ / 2) / periodMs_); }

 private:
  bool has_ = false;
  double last_ = 0;
  std::uint32_t periodMs_ = kSlowestMs;
};

}  // namespace trelvane::monitor
