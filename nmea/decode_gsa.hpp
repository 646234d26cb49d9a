// $GPGSA: fix type, the satellites used in the fix, PDOP and HDOP.
//
//   $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39
//
// Slots: 1 selection mode, 2 fix type, 3-14 satellites used (empty where none),
// 15 PDOP, 16 HDOP, 17 VDOP. Newer receivers add a system-id field after VDOP;
// the all-systems view reads it (decode_gnss.hpp), the readout needs none.
#pragma once

#include "nmea/field_table.hpp"
#include "nmea/readout.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

constexpr int kGsaSlots = 19;

// The in-use marks belong to table positions: each listed satellite marks the
// first entry whose number is exactly the same text.
template <class Build>
void MarkSatellitesInUse(const FieldTable<typename Build::Char>& fields,
                         SatelliteTable<typename Build::Char>& table) {
  using Ch = typename Build::Char;
  int searched = kSatelliteEntries;
  if (Build::kGsaSearchBoundedByInView) {
    searched = table.satellitesInView < 0 ? 0 : table.satellitesInView;
    if (searched > kSatelliteEntries) searched = kSatelliteEntries;
  }
  for (auto& entry : table.entries) entry.inUse = 0;
  for (int s = 3; s <= 14; ++s) {
    if (fields[s][0] == Ch(0)) continue;
    for (int e = 0; e < searched; ++e) {
      if (TextEquals(table.entries[e].prn, fields[s])) {
        table.entries[e].inUse = 1;
        break;
      }
    }
  }
}

// Status, HDOP and PDOP, from a GSA of any talker.
template <class Build>
void DecodeGsaReadout(const FieldTable<typename Build::Char>& fields, typename Build::Readout& readout,
                      const RepaintCallback& requestRepaint) {
  using Ch = typename Build::Char;
  // Rows as wide as a field slot, so that no copy of them can read past one.
  static const Ch kStatus[3][kSlotChars] = {{Ch('N'), Ch('o'), Ch(' '), Ch('F'), Ch('i'), Ch('x')},
                                            {Ch('2'), Ch('D')},
                                            {Ch('3'), Ch('D')}};

  const Ch fixType = fields[2][0];
  const Ch* status = kStatus[fixType == Ch('2') ? 1 : fixType == Ch('3') ? 2 : 0];
  Build::SetText(readout, ReadoutField::kStatus, status);
  Build::SetText(readout, ReadoutField::kHdop, fields[16]);
  Build::SetText(readout, ReadoutField::kPdop, fields[15]);
  if (Build::kRepaintAfterRmcAndGsa) requestRepaint();
}

// $GPGSA: the in-use marks of the twelve-entry table, then the readout.
template <class Build>
void DecodeGsa(const FieldTable<typename Build::Char>& fields, SatelliteTable<typename Build::Char>& table,
               typename Build::Readout& readout, const RepaintCallback& requestRepaint) {
  MarkSatellitesInUse<Build>(fields, table);
  DecodeGsaReadout<Build>(fields, readout, requestRepaint);
}

}  // namespace trelvane::nmea
