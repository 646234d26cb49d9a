// The FieldTable: a sentence cut into fixed slots at its delimiters.
#pragma once

namespace trelvane::nmea {

constexpr int kSlotChars = 48;  // 47 characters and the terminator
constexpr int kMaxSlots = 21;   // the most any sentence uses ($GPGSV with four satellites)

template <class Ch>
struct FieldTable {
  Ch slot[kMaxSlots][kSlotChars];

  const Ch* operator[](int index) const { return slot[index]; }
  Ch* operator[](int index) { return slot[index]; }
};

// How a field ended: at "," or "*", or at the end of the line's content
// (a carriage return, or the end of the text).
enum class FieldEnd { kDelimiter, kLineEnd };

// Copies the field that starts at `pos` into `slot` and moves `pos` past its
// delimiter. A field longer than a slot is cut at 47 characters; the read
// position still skips to its delimiter. A line feed is not a delimiter.
template <class Ch>
FieldEnd CopyField(const Ch* text, int& pos, Ch* slot) {
  int n = 0;
  for (;;) {
    const Ch c = text[pos];
    if (c == Ch(0)) {
      slot[n] = Ch(0);
      return FieldEnd::kLineEnd;
    }
    ++pos;
    if (c == Ch(',') || c == Ch('*')) {
      slot[n] = Ch(0);
      return FieldEnd::kDelimiter;
    }
    if (c == Ch('\r')) {
      slot[n] = Ch(0);
      return FieldEnd::kLineEnd;
    }
    if (n < kSlotChars - 1) slot[n++] = c;
  }
}

template <class Ch>
void EmptySlots(FieldTable<Ch>& fields, int from, int to) {
  for (int s = from; s < to; ++s) fields[s][0] = Ch(0);
}

// Fills slots 0 to slotCount - 1 from the sentence: slot 0 gets the identifier
// with its "$", slot n the n-th field. Once the line's content has ended, every
// further slot is empty, so a short sentence leaves empty slots behind it.
template <class Ch>
void SplitFields(const Ch* text, int slotCount, FieldTable<Ch>& fields) {
  int pos = 0;
  for (int s = 0; s < slotCount; ++s) {
    if (CopyField(text, pos, fields[s]) == FieldEnd::kLineEnd) {
      EmptySlots(fields, s + 1, slotCount);
      return;
    }
  }
}

// Splits a $GPGSV message, whose length depends on how many satellites it
// carries: fields are copied until the end of the line's content, at most 21
// (four satellites; later fields are ignored). Returns the number of
// satellites, counting only those whose four fields all ended at a "," or
// "*": the field that the line end closes is the checksum, and newer receivers
// add a signal-id field after the last satellite, which is no satellite
// either. Slots not reached are left empty.
template <class Ch>
int SplitGsv(const Ch* text, FieldTable<Ch>& fields) {
  int pos = 0;
  int lastDelimited = -1;  // the last field that a "," or "*" ended
  int j = 0;
  for (;; ++j) {
    if (CopyField(text, pos, fields[j]) == FieldEnd::kLineEnd) break;
    lastDelimited = j;
    if (j == kMaxSlots - 1) break;
  }
  EmptySlots(fields, j + 1, kMaxSlots);
  // Slots 0-3 are the identifier and the group fields; each satellite has four.
  return lastDelimited < 7 ? 0 : (lastDelimited - 3) / 4;
}

}  // namespace trelvane::nmea
