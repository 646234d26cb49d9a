// The one way the decoders read numbers out of a field.
#pragma once

#include <climits>

#include "nmea/text.hpp"

namespace trelvane::nmea {

template <class Ch>
bool IsCSpace(Ch c) {
  return c == Ch(' ') || c == Ch('\t') || c == Ch('\n') || c == Ch('\v') || c == Ch('\f') ||
         c == Ch('\r');
}

// The decimal integer that "%d" reads from `field` starting at its k-th
// character: leading white space, an optional sign, then the digits up to the
// first non-digit. So the number at position 2 of "123519" is 3519. No digits,
// or a position at or past the end of the field, reads 0. Digit strings too long
// for an int saturate at INT_MAX or INT_MIN instead of overflowing.
template <class Ch>
int ReadNumber(const Ch* field, int k) {
  for (int i = 0; i < k; ++i) {
    if (field[i] == Ch(0)) return 0;
  }
  const Ch* p = field + k;
  while (IsCSpace(*p)) ++p;
  bool negative = false;
  if (*p == Ch('+') || *p == Ch('-')) {
    negative = *p == Ch('-');
    ++p;
  }
  if (!IsDecimalDigit(*p)) return 0;
  long long value = 0;
  const long long limit = static_cast<long long>(INT_MAX) + 1;
  for (; IsDecimalDigit(*p); ++p) {
    if (value < limit) value = value * 10 + static_cast<long long>(*p - Ch('0'));
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The hexadecimal number at the start of `field` (either case), up to its
// first other character; 0 when it starts with none. Only the last eight
// digits count, as an unsigned 32-bit value holds them.
template <class Ch>
unsigned long ReadHexNumber(const Ch* field) {
  unsigned long value = 0;
  for (int digit = HexDigitValue(*field); digit >= 0; digit = HexDigitValue(*++field)) {
    value = ((value << 4) | static_cast<unsigned long>(digit)) & 0xFFFFFFFFul;
  }
  return value;
}

}  // namespace trelvane::nmea
