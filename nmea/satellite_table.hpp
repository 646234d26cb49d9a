// The satellites the information page plots: twelve entries filled by $GPGSV
// and marked by $GPGSA.
#pragma once

#include <cmath>
#include <climits>
#include <cstdint>

namespace trelvane::nmea {

// Up to three characters: SBAS and QZSS numbers such as 122 or 193 are real,
// and cutting them to two would name another satellite.
constexpr int kPrnChars = 4;
constexpr int kSatelliteEntries = 12;

template <class Ch>
struct SatelliteEntry {
  Ch prn[kPrnChars] = {};  // empty marks a free entry
  std::uint8_t inUse = 0;  // listed by the latest $GPGSA
  std::int32_t snr = 0;
  std::int32_t plotX = 0;  // sky-plot pixel, centre (77, 77)
  std::int32_t plotY = 0;  // grows downward
};

template <class Ch>
struct SatelliteTable {
  SatelliteEntry<Ch> entries[kSatelliteEntries];
  std::int32_t satellitesInView = 0;
};

struct PlotPoint {
  std::int32_t x;
  std::int32_t y;
};

// Sky-plot position of a satellite: 0.7 pixel per degree of zenith distance
// from the centre (77, 77), north up, east right. The degree-to-radian factor
// is the one the plot has always used, a little below pi/180.
inline PlotPoint SkyPlotPosition(int elevation, int azimuth) {
  const double radius = 0.7 * (90.0 - static_cast<double>(elevation));
  const double angle = (static_cast<double>(azimuth) - 90.0) * 0.01745327777777778;
  auto truncate = [](double v) -> std::int32_t {
    if (!(v > static_cast<double>(INT32_MIN))) return INT32_MIN;
    if (!(v < static_cast<double>(INT32_MAX))) return INT32_MAX;
    return static_cast<std::int32_t>(v);
  };
  return PlotPoint{truncate(radius * std::cos(angle) + 77.0), truncate(radius * std::sin(angle) + 77.0)};
}

}  // namespace trelvane::nmea
