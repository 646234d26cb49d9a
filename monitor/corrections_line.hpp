// The corrections' status line under the Setup page's log pane: how the
// caster's stream stands, then, while the corrections flow, the receiver's
// own answer from its last GGA:
//
//   Corrections: MOUNT 1.2 kB/s, 1005 1077, 1 s old, receiver RTK fixed (1.0 s)
//
// the age in brackets being the GGA's age of corrections, where it gives one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "corrections/corrections_flow.hpp"
#include "nmea/decode_fix.hpp"

namespace trelvane::monitor {

constexpr int kCorrectionsLineChars = 192;

inline void CorrectionsLine(const corrections::CorrectionsFlow& flow, const nmea::GgaFix* gga, std::uint32_t now,
                            char* out, int capacity) {
  flow.StatusText(now, out, capacity);
  if (flow.state != corrections::CasterState::kFlowing || gga == nullptr) return;
  const int used = static_cast<int>(std::strlen(out));
  if (used + 2 >= capacity) return;
  out[used] = ',';
  out[used + 1] = ' ';
  corrections::ReceiverAnswerText(gga->quality, gga->differentialAge.present, gga->differentialAge.value,
                                  out + used + 2, capacity - used - 2);
}

}  // namespace trelvane::monitor
