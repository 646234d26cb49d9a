// The fix as numbers: GGA, GST, RMC and GSA of any talker read into doubles,
// for whatever wants the position and its quality rather than the readout's
// texts. Like the all-systems decoders these read the sentence where it
// stands, and read it only when its field count is one the sentence can
// have, so that a spliced or cut line is never read as a fix.
//
//   $GNGGA,223745.00,3806.62964,N,12237.61382,W,2,12,0.54,83.1,M,-29.5,M,,0000*44
//
// GGA fields: 1 UTC time hhmmss.ss, 2-3 latitude ddmm.mmmm and N/S, 4-5
// longitude dddmm.mmmm and E/W, 6 fix quality (0 none, 1 GPS, 2 differential,
// 3 PPS, 4 RTK fixed, 5 RTK float, 6 estimated, 7 manual, 8 simulated), 7
// satellites used, 8 HDOP, 9-10 altitude above mean sea level and "M", 11-12
// geoid separation and "M", 13 age of the differential corrections in
// seconds, 14 the differential station.
//
//   $GNGST,223752.00,837,2.5,2.4,130,0.98,0.99,3.0*47
//
// GST fields: 1 UTC time, 2 RMS of the range residuals, 3-4 the error
// ellipse's semi-major and semi-minor axes (1-sigma, metres), 5 the
// semi-major axis's orientation in degrees from true north, 6-8 the
// latitude, longitude and altitude errors (1-sigma, metres).
//
// RMC's time, status, position, speed, course and date are read here too,
// beside the texts the readout makes of them (decode_rmc.hpp).
//
//   $GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03
//
// GSA's fix type (field 2: 1 none, 2 2D, 3 3D) and its PDOP, HDOP and VDOP
// (fields 15-17) are read too; the satellites it lists go to the all-systems
// view (decode_gnss.hpp).
//
// A number field counts only when it is a number and nothing else: an empty
// field, or one with anything else in it, is absent, never a zero.
#pragma once

#include "nmea/decode_gnss.hpp"
#include "nmea/read_number.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

// A number the receiver sent, or none.
struct Reading {
  double value = 0;
  bool present = false;
};

// One GGA.
struct GgaFix {
  Reading time;        // seconds of the UTC day (hhmmss.sss -> h*3600+m*60+s)
  Reading latitude;    // degrees, negative south
  Reading longitude;   // degrees, negative west
  int quality = -1;    // 0..8; -1 when empty or unreadable
  int satellites = -1; // satellites used; -1 when empty
  Reading hdop, altitude /* metres above MSL */, geoidSeparation /* metres */, differentialAge /* seconds */;
};

// One GST.
struct GstReport {
  Reading time, rms, semiMajor, semiMinor, orientation /* degrees from true north */, latitudeSigma,
      longitudeSigma, altitudeSigma;  // metres, 1-sigma
};

// One RMC's time, position and motion; valid when its status field is "A".
struct RmcFix {
  Reading time, latitude, longitude;
  bool valid = false;
  Reading speed;   // knots over ground
  Reading course;  // degrees from true north
  Reading date;    // yyyymmdd, the two-digit year taken as 20yy as the readout takes it
};

// One GSA's fix type and dilutions of precision.
struct GsaFix {
  int mode = -1;  // 1 no fix, 2 2D, 3 3D; -1 when empty or unreadable
  Reading pdop, hdop, vdop;
};

// Which of the three the last line handled gave. A GSA is none of them: the
// intake says so apart (gsaRead()), so that what reads these three reads on
// as before.
enum class FixSentence { kNone, kGga, kGst, kRmc };

constexpr int kGgaFieldCount = 15;  // the identifier and 14 fields
constexpr int kGstFieldCount = 9;   // the identifier and 8 fields
// NMEA 2.0 sends 11 fields after the identifier; 2.3 adds the mode, 4.10 the
// navigational status.
constexpr int kRmcFewestFields = 12;
constexpr int kRmcMostFields = 14;

// A field that holds a decimal number and nothing else.
template <class Ch>
Reading NumberField(const SentenceFields<Ch>& fields, int index) {
  Reading reading;
  const Ch* field = FieldStart(fields, index);
  const int used = ReadDecimal(field, reading.value);
  reading.present = used != 0 && EndsField(field[used]);
  if (!reading.present) reading.value = 0;
  return reading;
}

// A field of digits only, no sign or fraction, worth at most `highest`; -1
// for anything else.
template <class Ch>
int WholeField(const SentenceFields<Ch>& fields, int index, int highest) {
  const Ch* p = FieldStart(fields, index);
  if (!IsDecimalDigit(*p)) return -1;
  int value = 0;
  for (; IsDecimalDigit(*p); ++p) {
    value = value * 10 + static_cast<int>(*p - Ch('0'));
    if (value > highest) return -1;
  }
  return EndsField(*p) ? value : -1;
}

// hhmmss or hhmmss.sss -> seconds of the UTC day. Hours run to 23, minutes to
// 59, seconds to 60 (a leap second); the fraction is read on its own so that
// the whole seconds stay exact.
template <class Ch>
Reading TimeField(const SentenceFields<Ch>& fields, int index) {
  Reading reading;
  const Ch* field = FieldStart(fields, index);
  int part[3];  // hours, minutes, seconds
  for (int k = 0; k < 3; ++k) {
    const Ch tens = field[2 * k];
    if (!IsDecimalDigit(tens)) return reading;  // stops at the field's end
    const Ch ones = field[2 * k + 1];
    if (!IsDecimalDigit(ones)) return reading;
    part[k] = static_cast<int>(tens - Ch('0')) * 10 + static_cast<int>(ones - Ch('0'));
  }
  if (part[0] > 23 || part[1] > 59 || part[2] > 60) return reading;
  const Ch* rest = field + 6;
  double fraction = 0;
  if (*rest == Ch('.')) {
    const int used = ReadDecimal(rest, fraction);
    rest += used != 0 ? used : 1;  // "hhmmss." has no fraction digits
  }
  if (!EndsField(*rest)) return reading;
  reading.value = part[0] * 3600 + part[1] * 60 + part[2] + fraction;
  reading.present = true;
  return reading;
}

// ddmm.mmmm or dddmm.mmmm in field `index` and its hemisphere in the next ->
// signed degrees. The two digits before the point and the fraction after it
// are minutes, every digit before them degrees (a receiver without a fix may
// pad those with an extra zero). Absent unless both fields read, the minutes
// are under 60 and the degrees at most `limit`.
template <class Ch>
Reading CoordinateField(const SentenceFields<Ch>& fields, int index, char positive, char negative, int limit) {
  Reading reading;
  const Ch* hemisphere = FieldStart(fields, index + 1);
  const bool flipped = hemisphere[0] == Ch(negative);
  if ((!flipped && hemisphere[0] != Ch(positive)) || !EndsField(hemisphere[1])) return reading;
  const Ch* field = FieldStart(fields, index);
  int whole = 0;  // digits before the point
  while (IsDecimalDigit(field[whole])) ++whole;
  if (whole < 3) return reading;
  int degrees = 0;
  for (int k = 0; k < whole - 2; ++k) {
    degrees = degrees * 10 + static_cast<int>(field[k] - Ch('0'));
    if (degrees > limit) return reading;
  }
  double minutes = 0;
  const int used = ReadDecimal(field + whole - 2, minutes);
  if (!EndsField(field[whole - 2 + used]) || minutes >= 60) return reading;
  const double value = degrees + minutes / 60;
  if (value > limit) return reading;
  reading.value = flipped ? -value : value;
  reading.present = true;
  return reading;
}

// ddmmyy -> yyyymmdd, century 2000. Absent unless six digits make a day 1-31
// of a month 1-12.
template <class Ch>
Reading DateField(const SentenceFields<Ch>& fields, int index) {
  Reading reading;
  const Ch* field = FieldStart(fields, index);
  int part[3];  // day, month, year
  for (int k = 0; k < 3; ++k) {
    if (!IsDecimalDigit(field[2 * k]) || !IsDecimalDigit(field[2 * k + 1])) return reading;
    part[k] = static_cast<int>(field[2 * k] - Ch('0')) * 10 + static_cast<int>(field[2 * k + 1] - Ch('0'));
  }
  if (!EndsField(field[6]) || part[0] < 1 || part[0] > 31 || part[1] < 1 || part[1] > 12) return reading;
  reading.value = (2000 + part[2]) * 10000 + part[1] * 100 + part[0];
  reading.present = true;
  return reading;
}

// The GGA fields that are plain numbers.
struct GgaNumber {
  int field;
  Reading GgaFix::*member;
};
constexpr GgaNumber kGgaNumbers[] = {
    {8, &GgaFix::hdop},
    {9, &GgaFix::altitude},
    {11, &GgaFix::geoidSeparation},
    {13, &GgaFix::differentialAge},
};

constexpr int kMostSatellitesUsed = 999;  // more than any receiver tracks

// False, `fix` untouched, when the sentence has not the field count of a GGA.
template <class Ch>
bool DecodeGga(const SentenceFields<Ch>& fields, GgaFix& fix) {
  if (fields.count != kGgaFieldCount) return false;
  GgaFix read;
  read.time = TimeField(fields, 1);
  read.latitude = CoordinateField(fields, 2, 'N', 'S', 90);
  read.longitude = CoordinateField(fields, 4, 'E', 'W', 180);
  read.quality = WholeField(fields, 6, 8);
  read.satellites = WholeField(fields, 7, kMostSatellitesUsed);
  for (const GgaNumber& number : kGgaNumbers) read.*number.member = NumberField(fields, number.field);
  fix = read;
  return true;
}

// The GST fields after the time, in field order from field 2; all plain numbers.
constexpr Reading GstReport::*kGstNumbers[] = {
    &GstReport::rms,           &GstReport::semiMajor,      &GstReport::semiMinor,     &GstReport::orientation,
    &GstReport::latitudeSigma, &GstReport::longitudeSigma, &GstReport::altitudeSigma,
};

// False, `report` untouched, when the sentence has not the field count of a GST.
template <class Ch>
bool DecodeGst(const SentenceFields<Ch>& fields, GstReport& report) {
  if (fields.count != kGstFieldCount) return false;
  GstReport read;
  read.time = TimeField(fields, 1);
  int field = 2;
  for (Reading GstReport::*member : kGstNumbers) read.*member = NumberField(fields, field++);
  report = read;
  return true;
}

// False, `fix` untouched, when the sentence has not the field count of an RMC.
template <class Ch>
bool DecodeRmcFix(const SentenceFields<Ch>& fields, RmcFix& fix) {
  if (fields.count < kRmcFewestFields || fields.count > kRmcMostFields) return false;
  RmcFix read;
  read.time = TimeField(fields, 1);
  const Ch* status = FieldStart(fields, 2);
  read.valid = status[0] == Ch('A') && EndsField(status[1]);
  read.latitude = CoordinateField(fields, 3, 'N', 'S', 90);
  read.longitude = CoordinateField(fields, 5, 'E', 'W', 180);
  read.speed = NumberField(fields, 7);
  read.course = NumberField(fields, 8);
  read.date = DateField(fields, 9);
  fix = read;
  return true;
}

// A GSA has at least the identifier and 17 fields; what newer NMEA adds
// after VDOP (the system id) is not read here.
constexpr int kGsaFewestFields = 18;

// False, `fix` untouched, when the sentence has too few fields for a GSA.
template <class Ch>
bool DecodeGsaFix(const SentenceFields<Ch>& fields, GsaFix& fix) {
  if (fields.count < kGsaFewestFields) return false;
  GsaFix read;
  const int mode = WholeField(fields, 2, 3);
  read.mode = mode >= 1 ? mode : -1;
  read.pdop = NumberField(fields, 15);
  read.hdop = NumberField(fields, 16);
  read.vdop = NumberField(fields, 17);
  fix = read;
  return true;
}

}  // namespace trelvane::nmea
