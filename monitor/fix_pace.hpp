// How fast the receiver gives fixes, read from the time of day its fixes
// carry: the step from one fix's time to the next of the same sentence (a
// receiver at 10 Hz steps 0.1 s from RMC to RMC). Steps between an RMC and a
// GGA say nothing (some receivers stamp them a fraction apart within one
// epoch), nor do fixes of the same time. The rate is whole fixes a second,
// so a step of 0.99 s or 1.01 s, or none yet, is 1 Hz, as it always was.
#pragma once

#include <cstdint>

namespace trelvane::monitor {

class FixPace {
 public:
  static constexpr std::uint32_t kSlowestMs = 1000;
  static constexpr unsigned kFastestHz = 20;
  enum Sentence { kRmc, kGga, kSentences };

  // A fix of `secondsOfDay` (UTC) came in `sentence`; true when the period
  // changed.
  bool Take(Sentence sentence, double secondsOfDay) {
    const bool had = has_[sentence];
    const double last = last_[sentence];
    has_[sentence] = true;
    last_[sentence] = secondsOfDay;
    if (!had) return false;
    double step = secondsOfDay - last;
    if (step < 0) step += 86400.0;  // past midnight
    if (step <= 0.0005) return false;
    unsigned hz = step >= 1.0 ? 1u : static_cast<unsigned>(1.0 / step + 0.5);
    if (hz > kFastestHz) hz = kFastestHz;
    const bool changed = hz != hz_;
    hz_ = hz;
    return changed;
  }

  void Forget() { *this = FixPace{}; }

  std::uint32_t PeriodMs() const { return kSlowestMs / hz_; }
  // Whole fixes a second: 10 for a 0.1 s step.
  unsigned Hz() const { return hz_; }

 private:
  bool has_[kSentences] = {};
  double last_[kSentences] = {};
  unsigned hz_ = 1;
};

}  // namespace trelvane::monitor
