// $GPGSV: satellites in view, up to four per message, three messages a group.
//
//   $GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75
//
// Slots: 1 messages in the group, 2 this message's number, 3 satellites in
// view, then number, elevation, azimuth and signal per satellite. Receivers
// leave elevation and azimuth empty for satellites without an almanac and the
// signal empty for satellites not tracked; all of those read as 0.
#pragma once

#include "nmea/field_table.hpp"
#include "nmea/read_number.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

template <class Build>
void DecodeGsv(const typename Build::Char* sentence, FieldTable<typename Build::Char>& fields,
               SatelliteTable<typename Build::Char>& table, const RepaintCallback& requestRepaint) {
  const int satellites = SplitGsv(sentence, fields);
  table.satellitesInView = ReadNumber(fields[3], 0);
  const long long message = ReadNumber(fields[2], 0);

  if (Build::kGsvEmptiesNumbersOnFirstMessage && message == 1) {
    for (auto& entry : table.entries) entry.prn[0] = 0;
  }
  for (int i = 0; i < satellites; ++i) {
    // Message 1 fills positions 0-3, message 2 4-7, message 3 8-11; a
    // satellite with no room in the table is skipped.
    const long long position = 4 * (message - 1) + i;
    if (position < 0 || position >= kSatelliteEntries) continue;
    auto& entry = table.entries[position];
    const int first = 4 + 4 * i;
    CopyText(entry.prn, kPrnChars, fields[first]);
    entry.snr = ReadNumber(fields[first + 3], 0);
    const PlotPoint point = SkyPlotPosition(ReadNumber(fields[first + 1], 0), ReadNumber(fields[first + 2], 0));
    entry.plotX = point.x;
    entry.plotY = point.y;
  }
  // The page redraws once the last message of the group is in.
  if (message == ReadNumber(fields[1], 0)) requestRepaint();
}

}  // namespace trelvane::nmea
