// The quality of a fix as GGA numbers it, for the qualities that are fixes,
// and kQualityUnknown for a fix taken from RMC, which says none.
#pragma once

namespace trelvane::nmea {

enum FixQuality : unsigned char {
  kQualityUnknown = 0,
  kQualityGps = 1,
  kQualityDgps = 2,
  kQualityPps = 3,
  kQualityRtkFixed = 4,
  kQualityRtkFloat = 5,
};
constexpr int kQualityCount = 6;

// Most accurate first, as the accuracy page lists and explains them.
constexpr FixQuality kQualityOrder[kQualityCount] = {kQualityRtkFixed, kQualityRtkFloat, kQualityDgps,
                                                      kQualityPps,      kQualityGps,      kQualityUnknown};

inline const char* QualityName(int quality) {
  static const char* const kNames[kQualityCount] = {"unknown", "GPS", "DGPS", "PPS", "RTK fixed", "RTK float"};
  return quality >= 0 && quality < kQualityCount ? kNames[quality] : "";
}

}  // namespace trelvane::nmea
