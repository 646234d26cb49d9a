// Small text helpers shared by the decoders, written once for every character
// type the monitors use: char (desktop, code page 950 bytes) and a UTF-16 unit
// (handheld). Every write is bounded by the capacity of its buffer.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>

namespace trelvane::nmea {

// Length of a zero-terminated text, counting at most `limit` characters.
template <class Ch>
int TextLength(const Ch* text, int limit) {
  int n = 0;
  while (n < limit && text[n] != Ch(0)) ++n;
  return n;
}

// The same for 8-bit text, where the C library's search is much faster.
inline int TextLength(const char* text, int limit) {
  return limit <= 0 ? 0 : static_cast<int>(strnlen(text, static_cast<std::size_t>(limit)));
}

// The first `unit` in `text`, or nullptr when it holds none.
template <class Ch>
const Ch* FindUnit(const Ch* text, Ch unit) {
  for (; *text != Ch(0); ++text) {
    if (*text == unit) return text;
  }
  return nullptr;
}

inline const char* FindUnit(const char* text, char unit) { return unit == 0 ? nullptr : std::strchr(text, unit); }

// Copies `source` into `target` of `capacity` characters (terminator included),
// cutting what does not fit.
template <class Ch>
void CopyText(Ch* target, int capacity, const Ch* source) {
  if (capacity <= 0) return;
  int n = 0;
  while (n < capacity - 1 && source[n] != Ch(0)) {
    target[n] = source[n];
    ++n;
  }
  target[n] = Ch(0);
}

template <class Ch>
bool TextEquals(const Ch* a, const Ch* b) {
  while (*a != Ch(0) && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// Where the ASCII text `needle` first occurs in `text`, or nullptr.
template <class Ch>
const Ch* FindAscii(const Ch* text, const char* needle) {
  for (; *text != Ch(0); ++text) {
    int k = 0;
    while (needle[k] != 0 && text[k] == Ch(static_cast<unsigned char>(needle[k]))) ++k;
    if (needle[k] == 0) return text;
  }
  return nullptr;
}

// True when `text` begins with the ASCII text `prefix`.
template <class Ch>
bool TextStartsWith(const Ch* text, const char* prefix) {
  for (; *prefix != 0; ++prefix, ++text) {
    if (*text != Ch(static_cast<unsigned char>(*prefix))) return false;
  }
  return true;
}

// True when the ASCII text `needle` occurs anywhere in `text`.
template <class Ch>
bool ContainsAscii(const Ch* text, const char* needle) {
  return FindAscii(text, needle) != nullptr;
}

template <class Ch>
bool IsDecimalDigit(Ch c) {
  return c >= Ch('0') && c <= Ch('9');
}

// Value of a hexadecimal digit of either case, or -1.
template <class Ch>
int HexDigitValue(Ch c) {
  if (c >= Ch('0') && c <= Ch('9')) return static_cast<int>(c - Ch('0'));
  if (c >= Ch('a') && c <= Ch('f')) return static_cast<int>(c - Ch('a')) + 10;
  if (c >= Ch('A') && c <= Ch('F')) return static_cast<int>(c - Ch('A')) + 10;
  return -1;
}

// Builds a text in a caller's fixed buffer, the way the monitors' printf
// formats ("%d", "%.2d", "%.4d") would, but never past the buffer: what does
// not fit is cut, and the text is always terminated.
template <class Ch>
class TextBuilder {
 public:
  TextBuilder(Ch* buffer, int capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = Ch(0);
  }
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  void AppendUnit(Ch c) {
    if (length_ + 1 >= capacity_) return;
    buffer_[length_++] = c;
    buffer_[length_] = Ch(0);
  }

  void AppendAscii(const char* text) {
    for (; *text != 0; ++text) AppendUnit(Ch(static_cast<unsigned char>(*text)));
  }

  void AppendText(const Ch* text) {
    for (; *text != Ch(0); ++text) AppendUnit(*text);
  }

  // "%.Nd": a minus sign when negative, then at least `minDigits` digits.
  void AppendInt(long long value, int minDigits) {
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0 && count < 24);
    if (value < 0) AppendUnit(Ch('-'));
    for (int pad = count; pad < minDigits; ++pad) AppendUnit(Ch('0'));
    while (count > 0) AppendUnit(Ch(static_cast<unsigned char>(digits[--count])));
  }

  int Length() const { return length_; }

 private:
  Ch* buffer_;
  int capacity_;
  int length_ = 0;
};

}  // namespace trelvane::nmea
