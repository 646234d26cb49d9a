// A full ring of fixes for the accuracy benchmarks: a receiver wandering a
// few metres about a point, its quality changing now and then.
#pragma once

#include <cmath>

#include "monitor/accuracy.hpp"

namespace trelvane::bench {

inline void FillFixRing(monitor::FixRecord& record) {
  for (int i = 0; i < monitor::kFixesKept; ++i) {
    nmea::GgaFix fix;
    fix.latitude = {47.285 + 3e-5 * std::sin(i * 0.017) + 1e-6 * (i % 13), true};
    fix.longitude = {8.565 + 4e-5 * std::cos(i * 0.011) - 1e-6 * (i % 7), true};
    fix.altitude = {500.0 + (i % 29) * 0.1, true};
    fix.quality = 1 + (i / 997) % 5;
    record.TakeGga(fix);
  }
}

}  // namespace trelvane::bench
