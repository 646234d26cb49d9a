// Fixes for the accuracy tests: a GGA as the intake would give it, and a
// record held at a chosen centre.
#pragma once

#include "monitor/accuracy.hpp"

namespace trelvane::testing {

// Below -1000 m: no altitude.
inline nmea::GgaFix Gga(double latitude, double longitude, int quality, double altitude = -9999) {
  nmea::GgaFix fix;
  fix.latitude = {latitude, true};
  fix.longitude = {longitude, true};
  fix.quality = quality;
  if (altitude > -1000) fix.altitude = {altitude, true};
  return fix;
}

// The record's centre held at (latitude, longitude), with no fix kept.
inline void HoldAt(monitor::FixRecord& record, double latitude, double longitude) {
  record.TakeGga(Gga(latitude, longitude, 1));
  record.HoldCentre(true);
  record.Reset();
}

}  // namespace trelvane::testing
