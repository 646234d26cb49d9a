// Which satellite a talker's number names. Receivers number satellites in
// several ways, all seen in the field:
//   - NMEA 4.0 ranges, in $GP and $GN sentences alike: 1-32 GPS, 33-64 SBAS
//     (PRN 120-151), 65-96 GLONASS (slot = number - 64), 193-202 QZSS.
//   - NMEA 4.10 and later: each system's own talker ($GL, $GA, $GB/$BD,
//     $GQ/$QZ, $GI) and a GSA system id, with numbers within the system.
//   - Vendor forms: BeiDou 201-263 (SiRF, under $GB) and 401-437 (u-blox),
//     Galileo 301-336 (u-blox) and 101-136; SBAS by its PRN 120-158; Quectel
//     sends BeiDou as $PQGSV/$PQGSA.
// Numbers a system's talker gives outside that system's own ranges are read
// by the NMEA 4.0 ranges.
#pragma once

#include "nmea/gnss_view.hpp"

namespace trelvane::nmea {

// How a sentence's numbers are read: by the shared ranges, or as one system's.
enum class NumberFamily : std::uint8_t { kMixed, kGlonass, kGalileo, kBeidou, kQzss, kNavic };

// Up to two readings of a number, the likelier first: QZSS 201-202 against
// BeiDou 1-2, SBAS 120-136 against Galileo 20-36.
struct GnssCandidates {
  int count = 0;
  int code[2] = {-1, -1};

  void Add(GnssSystem system, int number) {
    const int c = GnssCode(system, number);
    if (c >= 0 && count < 2) code[count++] = c;
  }
};

inline GnssCandidates MixedNumber(int n) {
  GnssCandidates out;
  if (n >= 1 && n <= 32) out.Add(GnssSystem::kGps, n);
  if (n >= 33 && n <= 64) out.Add(GnssSystem::kSbas, n + 87);
  if (n >= 65 && n <= 96) out.Add(GnssSystem::kGlonass, n - 64);
  if (n >= 120 && n <= 158) out.Add(GnssSystem::kSbas, n);
  if (n >= 101 && n <= 136) out.Add(GnssSystem::kGalileo, n - 100);
  if (n >= 193 && n <= 202) out.Add(GnssSystem::kQzss, n - 192);
  if (n >= 201 && n <= 263) out.Add(GnssSystem::kBeidou, n - 200);
  if (n >= 301 && n <= 336) out.Add(GnssSystem::kGalileo, n - 300);
  if (n >= 401 && n <= 463) out.Add(GnssSystem::kBeidou, n - 400);
  return out;
}

// A number in one system's own ranges, or else by the shared ranges.
inline GnssCandidates FamilyNumber(NumberFamily family, int n) {
  GnssCandidates out;
  switch (family) {
    case NumberFamily::kMixed: break;
    case NumberFamily::kGlonass:
      if (n >= 1 && n <= 32) out.Add(GnssSystem::kGlonass, n);
      if (n >= 65 && n <= 96) out.Add(GnssSystem::kGlonass, n - 64);
      break;
    case NumberFamily::kGalileo:
      if (n >= 1 && n <= 36) out.Add(GnssSystem::kGalileo, n);
      if (n >= 101 && n <= 136) out.Add(GnssSystem::kGalileo, n - 100);
      if (n >= 301 && n <= 336) out.Add(GnssSystem::kGalileo, n - 300);
      break;
    case NumberFamily::kBeidou:
      if (n >= 1 && n <= 63) out.Add(GnssSystem::kBeidou, n);
      if (n >= 201 && n <= 263) out.Add(GnssSystem::kBeidou, n - 200);
      if (n >= 401 && n <= 463) out.Add(GnssSystem::kBeidou, n - 400);
      break;
    case NumberFamily::kQzss:
      if (n >= 1 && n <= 10) out.Add(GnssSystem::kQzss, n);
      if (n >= 193 && n <= 202) out.Add(GnssSystem::kQzss, n - 192);
      break;
    case NumberFamily::kNavic:
      if (n >= 1 && n <= 14) out.Add(GnssSystem::kNavic, n);
      break;
  }
  return out.count != 0 ? out : MixedNumber(n);
}

// NMEA 4.10 GSA system id: 1 GPS (with the SBAS and QZSS numbers receivers
// list beside GPS), 2 GLONASS, 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC. Any
// other value leaves the talker's reading.
inline NumberFamily FamilyOfSystemId(int id, NumberFamily talkerFamily) {
  switch (id) {
    case 1: return NumberFamily::kMixed;
    case 2: return NumberFamily::kGlonass;
    case 3: return NumberFamily::kGalileo;
    case 4: return NumberFamily::kBeidou;
    case 5: return NumberFamily::kQzss;
    case 6: return NumberFamily::kNavic;
    default: return talkerFamily;
  }
}

// The talkers whose RMC, GSA and GSV sentences are read. Row 0 is $GP; the
// row index names a GSV group's talker.
struct GnssTalker {
  char id[3];
  NumberFamily family;
};
constexpr GnssTalker kGnssTalkers[] = {
    {"GP", NumberFamily::kMixed},   {"GN", NumberFamily::kMixed},   {"GL", NumberFamily::kGlonass},
    {"GA", NumberFamily::kGalileo}, {"GB", NumberFamily::kBeidou},  {"BD", NumberFamily::kBeidou},
    {"PQ", NumberFamily::kBeidou},  {"GQ", NumberFamily::kQzss},    {"QZ", NumberFamily::kQzss},
    {"GI", NumberFamily::kNavic},
};
constexpr int kGnssTalkerCount = static_cast<int>(sizeof kGnssTalkers / sizeof kGnssTalkers[0]);

// The talker row of the two characters after "$", or -1.
template <class Ch>
int FindTalker(const Ch* id) {
  for (int t = 0; t < kGnssTalkerCount; ++t) {
    if (id[0] == Ch(kGnssTalkers[t].id[0]) && id[1] == Ch(kGnssTalkers[t].id[1])) return t;
  }
  return -1;
}

}  // namespace trelvane::nmea
