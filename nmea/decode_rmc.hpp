// $GPRMC: date, time, course, speed, hemispheres and position.
//
//   $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
//
// Receivers differ: some send hhmmss.sss, some no fraction; NMEA 2.3 adds a
// mode field in slot 12; a receiver without a position sends empty latitude
// and longitude. The status (A/V) is not consulted: a sentence without a valid
// fix updates the readout like any other.
#pragma once

#include <cstdint>

#include "nmea/field_table.hpp"
#include "nmea/read_number.hpp"
#include "nmea/readout.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

constexpr int kRmcSlots = 13;

// Date parts are held as unsigned 16-bit values, as the readout has always
// printed them; an out-of-range part wraps instead of overflowing.
inline std::uint16_t DatePart(long long value) { return static_cast<std::uint16_t>(value); }

// ddmmyy -> "yyyy/mm/dd", century 2000. An empty field gives 2000/00/00.
template <class Ch>
void FormatRmcDate(Ch* slot) {
  const long long a = ReadNumber(slot, 0), b = ReadNumber(slot, 2), c = ReadNumber(slot, 4);
  TextBuilder<Ch> text(slot, kSlotChars);
  text.AppendInt(DatePart(c + 2000), 4);
  text.AppendUnit(Ch('/'));
  text.AppendInt(DatePart((b - c) / 100), 2);
  text.AppendUnit(Ch('/'));
  text.AppendInt(DatePart((a - b) / 10000), 2);
}

// hhmmss[.sss] -> "hh:mm:ss", the fraction dropped. An empty field stays empty.
template <class Ch>
void FormatRmcTime(Ch* slot) {
  if (slot[0] == Ch(0)) return;
  const long long a = ReadNumber(slot, 0), b = ReadNumber(slot, 2), c = ReadNumber(slot, 4);
  TextBuilder<Ch> text(slot, kSlotChars);
  text.AppendInt(DatePart((a - b) / 10000), 2);
  text.AppendUnit(Ch(':'));
  text.AppendInt(DatePart((b - c) / 100), 2);
  text.AppendUnit(Ch(':'));
  text.AppendInt(DatePart(c), 2);
}

// Knots -> whole km/h followed by " Km/hr"; the fraction of a knot is dropped
// before converting, and the result truncated.
template <class Ch>
void FormatRmcSpeed(Ch* slot) {
  const bool empty = slot[0] == Ch(0);
  const double kmh = static_cast<double>(ReadNumber(slot, 0)) * 1.852;
  TextBuilder<Ch> text(slot, kSlotChars);  // the text replaces the field
  text.AppendInt(empty ? 0 : static_cast<long long>(kmh), 1);
  text.AppendAscii(" Km/hr");
}

// ddmm.mmmm (degreeDigits 2) or dddmm.mmmm (3) -> degrees, degree sign,
// "mm.ffff'". The fraction of a minute is shown as the digits the receiver
// sent, padded with zeros to at least four: receivers send three to six
// digits, and reading them as a whole number would show 07.038 minutes as
// 07.0038 and drop the leading zero of 44.072904. An empty field stays empty;
// an unreadable one reads as zeros.
template <class Build>
void FormatRmcCoordinate(typename Build::Char* slot, int degreeDigits) {
  using Ch = typename Build::Char;
  if (slot[0] == Ch(0)) return;
  const long long a = ReadNumber(slot, 0);
  const long long minutes = ReadNumber(slot, degreeDigits);
  Ch fraction[kSlotChars];
  int digits = 0;
  const int first = degreeDigits + 3;  // just after the "."
  if (TextLength(slot, first) == first) {
    while (IsDecimalDigit(slot[first + digits])) {
      fraction[digits] = slot[first + digits];
      ++digits;
    }
  }
  while (digits < 4) fraction[digits++] = Ch('0');
  fraction[digits] = Ch(0);

  TextBuilder<Ch> text(slot, kSlotChars);  // the text replaces the field
  text.AppendInt((a - minutes) / 100, degreeDigits);
  Build::AppendDegreeSign(text);
  text.AppendInt(minutes, 2);
  text.AppendUnit(Ch('.'));
  text.AppendText(fraction);
  text.AppendUnit(Ch('\''));
}

template <class Build>
void DecodeRmc(FieldTable<typename Build::Char>& fields, typename Build::Readout& readout,
               const RepaintCallback& requestRepaint) {
  using Ch = typename Build::Char;
  static const Ch kNoCourse[] = {Ch('0'), Ch(0)};

  FormatRmcDate(fields[9]);
  FormatRmcTime(fields[1]);
  FormatRmcSpeed(fields[7]);
  FormatRmcCoordinate<Build>(fields[3], 2);
  FormatRmcCoordinate<Build>(fields[5], 3);

  // The order in which the handheld's controls are set.
  Build::SetText(readout, ReadoutField::kDate, fields[9]);
  Build::SetText(readout, ReadoutField::kUtc, fields[1]);
  Build::SetText(readout, ReadoutField::kDirection, fields[8][0] != Ch(0) ? fields[8] : kNoCourse);
  Build::SetText(readout, ReadoutField::kSpeed, fields[7]);
  Build::SetText(readout, ReadoutField::kNorthSouth, fields[4]);
  Build::SetText(readout, ReadoutField::kEastWest, fields[6]);
  Build::SetText(readout, ReadoutField::kLongitude, fields[5]);
  Build::SetText(readout, ReadoutField::kLatitude, fields[3]);
  if (Build::kRepaintAfterRmcAndGsa) requestRepaint();
}

}  // namespace trelvane::nmea
