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

// The decimal number at the start of `text`: an optional sign, digits, and
// an optional "." with more digits, at least one digit in all ("12", "-4",
// "17444.", ".5"). Sets `value` and returns how many characters it took, or
// returns 0 and leaves `value` alone when no number stands there. Not strtod:
// that follows the process's locale (a "," decimal point in some) and reads
// only char. The digits are gathered into a whole number and scaled by a
// power of ten once, so any number of up to 15 significant digits, which is
// more than receivers send, comes out as the double nearest to it. Digits
// past the 18th are dropped (in the whole part they still count for its
// size).
template <class Ch>
int ReadDecimal(const Ch* text, double& value) {
  int i = 0;
  const bool negative = text[0] == Ch('-');
  if (negative || text[0] == Ch('+')) ++i;
  unsigned long long digits = 0;
  int kept = 0;      // significant digits gathered into `digits`
  int exponent = 0;  // the power of ten `digits` is to be scaled by
  int seen = 0;
  bool point = false;
  for (;; ++i) {
    const Ch c = text[i];
    if (c == Ch('.') && !point) {
      point = true;
      continue;
    }
    if (!IsDecimalDigit(c)) break;
    ++seen;
    if (kept < 18) {
      digits = digits * 10 + static_cast<unsigned>(c - Ch('0'));
      if (digits != 0) ++kept;  // leading zeros are not significant
      if (point) --exponent;
    } else if (!point) {
      ++exponent;
    }
  }
  if (seen == 0) return 0;
  double scale = 1;  // exact up to 1e22
  for (int e = exponent < 0 ? -exponent : exponent; e > 0; --e) scale *= 10;
  const double magnitude = exponent < 0 ? static_cast<double>(digits) / scale : static_cast<double>(digits) * scale;
  value = negative ? -magnitude : magnitude;
  return i;
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
