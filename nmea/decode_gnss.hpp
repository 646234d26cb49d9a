// GSV and GSA of any talker into the all-systems view. These read the
// sentence where it stands (no copy): each field is found by its offset, and
// a sentence is read only when its field count is one the sentence can have,
// so that fields added by newer NMEA versions, or extra ones, are never read
// as something else.
#pragma once

#include "nmea/field_table.hpp"
#include "nmea/gnss_numbering.hpp"
#include "nmea/gnss_view.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

constexpr int kGnssFieldLimit = 24;  // a GSV of four satellites, a signal and a system id has 23

template <class Ch>
struct SentenceFields {
  const Ch* text = nullptr;
  int start[kGnssFieldLimit] = {};
  int count = 0;  // the identifier is field 0
};

template <class Ch>
bool EndsField(Ch c) {
  return c == Ch(',') || c == Ch('*') || c == Ch('\r') || c == Ch('\n') || c == Ch(0);
}

// Finds the fields of the sentence that starts at `sentence`, up to its "*"
// or the end of the line. False when it has more fields than any we read.
template <class Ch>
bool IndexFields(const Ch* sentence, SentenceFields<Ch>& fields) {
  fields.text = sentence;
  fields.count = 1;
  fields.start[0] = 0;
  for (int i = 0;; ++i) {
    const Ch c = sentence[i];
    if (c != Ch(',')) {
      if (EndsField(c)) return true;
      continue;
    }
    if (fields.count == kGnssFieldLimit) return false;
    fields.start[fields.count++] = i + 1;
  }
}

// A field's whole-number value (an optional "-", then digits; a fraction is
// dropped), or `none` when the field is empty, unreadable or over 9999.
template <class Ch>
int FieldNumber(const SentenceFields<Ch>& fields, int index, int none) {
  if (index >= fields.count) return none;
  const Ch* p = fields.text + fields.start[index];
  const bool negative = *p == Ch('-');
  if (negative) ++p;
  if (!IsDecimalDigit(*p)) return none;
  int value = 0;
  for (; IsDecimalDigit(*p); ++p) {
    value = value * 10 + static_cast<int>(*p - Ch('0'));
    if (value > 9999) return none;
  }
  if (!EndsField(*p) && *p != Ch('.')) return none;
  return negative ? -value : value;
}

// Where field `index` begins (its text runs on to the end of the sentence),
// or an empty text when the sentence has fewer fields.
template <class Ch>
const Ch* FieldStart(const SentenceFields<Ch>& fields, int index) {
  static const Ch kNone[] = {Ch(0)};
  return index < fields.count ? fields.text + fields.start[index] : kNone;
}

// Copies one field into a slot, cut at 47 characters as SplitFields cuts it.
template <class Ch>
void CopyIndexedField(const SentenceFields<Ch>& fields, int index, Ch* slot) {
  int n = 0;
  if (index < fields.count) {
    for (const Ch* p = fields.text + fields.start[index]; !EndsField(*p) && n < kSlotChars - 1; ++p) slot[n++] = *p;
  }
  slot[n] = Ch(0);
}

inline int InRangeOrNone(int value, int low, int high) { return value >= low && value <= high ? value : kGnssNone; }

// A field that is a whole number from 1 to 6 (digits only, no fraction): a
// system id. 0 for anything else.
template <class Ch>
int SystemIdField(const SentenceFields<Ch>& fields, int index) {
  if (index >= fields.count) return 0;
  const Ch* p = fields.text + fields.start[index];
  if (*p < Ch('1') || *p > Ch('6') || !EndsField(p[1])) return 0;
  return static_cast<int>(*p - Ch('0'));
}

// GSV: a group of messages, four satellites each, per talker and signal.
//
//   $GAGSV,3,1,10,03,44,149,40,05,42,071,39,08,08,190,,09,06,034,,7*74
//
// Fields: 1 messages in the group, 2 this message, 3 satellites in view, then
// number, elevation, azimuth and SNR per satellite; NMEA 4.10 adds a signal id
// after the last satellite (7 here: Galileo E1). Quectel's LTE modules add a
// system id after the signal id, which then names the system:
//
//   $PQGSV,2,1,08,02,20,116,,03,,,,05,34,137,,07,06,045,,0,4*52
//
// Any other field count, or a last field of such a sentence that is not a
// system id from 1 to 6, is not a GSV we can read. Returns true when the view
// changed.
template <class Ch>
bool DecodeGnssGsv(const SentenceFields<Ch>& fields, int talker, GnssView& view) {
  const int data = fields.count - 1;
  if (data < 3 || (data - 3) % 4 > 2) return false;
  const int satellites = (data - 3) / 4;
  const int extra = (data - 3) % 4;
  const int systemId = extra == 2 ? SystemIdField(fields, fields.count - 1) : 0;
  if (extra == 2 && systemId == 0) return false;
  const int signalField = extra == 2 ? fields.count - 2 : fields.count - 1;
  const int signal = extra != 0 ? HexDigitValue(fields.text[fields.start[signalField]]) : 0;
  const int total = FieldNumber(fields, 1, 0);
  const int message = FieldNumber(fields, 2, 0);
  if (total < 1 || total > 9 || message < 1 || message > total) return false;
  if (!view.GroupMessage(talker, systemId, signal < 0 ? 0 : signal, total, message)) return false;
  const NumberFamily family = FamilyOfSystemId(systemId, kGnssTalkers[talker].family);
  for (int i = 0; i < satellites; ++i) {
    const int first = 4 + 4 * i;
    const GnssCandidates named = FamilyNumber(family, FieldNumber(fields, first, 0));
    if (named.count == 0) continue;  // empty padding, or a number no receiver uses
    view.AddToGroup(named.code[0], InRangeOrNone(FieldNumber(fields, first + 1, kGnssNone), -90, 90),
                    InRangeOrNone(FieldNumber(fields, first + 2, kGnssNone), 0, 359),
                    InRangeOrNone(FieldNumber(fields, first + 3, kGnssNone), 0, 99));
  }
  return message == total ? view.CommitGroup() : false;
}

// The reading of a GSA number: among several, the one already in view, else
// the likelier.
inline int ResolveInView(const GnssCandidates& named, const GnssView& view) {
  for (int c = 0; c < named.count; ++c) {
    if (view.InView(named.code[c])) return named.code[c];
  }
  return named.code[0];
}

// GSA: the satellites one system used in the fix.
//
//   $GNGSA,A,3,82,73,74,67,81,83,68,,,,,,0.99,0.54,0.83,2*08
//
// Fields: 1 mode, 2 fix type, 3-14 satellites used, 15 PDOP, 16 HDOP, 17
// VDOP; NMEA 4.10 adds 18, the system id (2 here: GLONASS). SiRF-based
// BeiDou receivers send another number there ("3.3"), and some more fields:
// field 18 names the system only when it is a whole number from 1 to 6, and
// fields after it are not read. Returns true when the view changed.
template <class Ch>
bool DecodeGnssGsa(const SentenceFields<Ch>& fields, int talker, GnssView& view) {
  if (fields.count < 18) return false;
  const int systemId = SystemIdField(fields, 18);
  const NumberFamily family = FamilyOfSystemId(systemId, kGnssTalkers[talker].family);
  view.BeginGsa(systemId);
  for (int f = 3; f <= 14; ++f) {
    const GnssCandidates named = FamilyNumber(family, FieldNumber(fields, f, 0));
    if (named.count != 0) view.UseInGsa(ResolveInView(named, view));
  }
  return view.EndGsa();
}

}  // namespace trelvane::nmea
