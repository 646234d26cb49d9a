// A recording's own clock, for what is timed by arrival while it plays or
// is decoded: the receiver's time of day from each RMC, GGA, GNS or ZDA, in
// ms from the first one, going on across midnight. A line without a time
// keeps the last one; a time earlier than the last (a seek back) stands still.
#pragma once

#include <cstdint>

#include "nmea/text.hpp"

namespace trelvane::monitor {

class FileClock {
 public:
  template <class Ch>
  std::uint32_t Line(const Ch* line, int length) {
    if (length < 17 || line[0] != Ch('$')) return now_;
    const Ch* type = line + 3;
    const bool timed = nmea::TextStartsWith(type, "RMC,") || nmea::TextStartsWith(type, "GGA,") ||
                       nmea::TextStartsWith(type, "GNS,") || nmea::TextStartsWith(type, "ZDA,");
    if (!timed) return now_;
    const Ch* t = line + 7;
    long long ms = 0;
    for (int i = 0; i < 6; ++i) {
      if (!nmea::IsDecimalDigit(t[i])) return now_;
    }
    const auto digit = [t](int i) { return static_cast<long long>(t[i] - Ch('0')); };
    ms = ((digit(0) * 10 + digit(1)) * 3600 + (digit(2) * 10 + digit(3)) * 60 + digit(4) * 10 + digit(5)) * 1000;
    if (t[6] == Ch('.') && nmea::IsDecimalDigit(t[7])) {
      ms += digit(7) * 100 + (nmea::IsDecimalDigit(t[8]) ? digit(8) * 10 : 0);
    }
    if (!started_) {
      started_ = true;
      last_ = ms;
    }
    long long step = ms - last_;
    if (step < -12LL * 3600 * 1000) step += 24LL * 3600 * 1000;  // past midnight
    if (step > 0) now_ += static_cast<std::uint32_t>(step);
    last_ = ms;
    return now_;
  }
  std::uint32_t Now() const { return now_; }

 private:
  bool started_ = false;
  long long last_ = 0;
  std::uint32_t now_ = 0;
};

}  // namespace trelvane::monitor
