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
// carries: the field limit grows by four with every group of four fields,
// starting at 9. Returns the number of satellites (0 to 4). Fields after slot
// 20 are ignored; slots not reached are left empty.
template <class Ch>
int SplitGsv(const Ch* text, FieldTable<Ch>& fields) {
  int pos = 0;
  int groups = 0;
  int limit = 9;
  int j = 0;
  for (;; ++j) {
    if (CopyField(text, pos, fields[j]) == FieldEnd::kLineEnd) break;
    if (j == kMaxSlots - 1) break;
    if (j % 4 == 0) {
      ++groups;
      if (4 * groups + 1 > 9) limit = 4 * groups + 1;
    }
    if (j + 1 >= limit) break;
  }
  EmptySlots(fields, j + 1, kMaxSlots);
  return groups > 0 ? groups - 1 : 0;
}

}  // namespace trelvane::nmea
