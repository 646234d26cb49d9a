// Buffered output of trelvane-decode's JSON Lines: tokens with no spaces
// between them, strings in UTF-8 with '"', '\\' and control characters escaped.
#pragma once

#include <cstdio>
#include <cstring>

namespace trelvane::decode {

class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}
  ~JsonWriter() { Flush(); }
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void Raw(const char* text);
  // A string literal, its length known where it is written.
  template <std::size_t N>
  void Literal(const char (&text)[N]) {
    Block(text, N - 1);
  }
  // Bytes as they are.
  void Block(const char* bytes, std::size_t count) {
    if (count <= sizeof buffer_ - used_) {
      std::memcpy(buffer_ + used_, bytes, count);
      used_ += static_cast<unsigned>(count);
    } else {
      LongBlock(bytes, count);
    }
  }
  void Int(long long value);
  void Bool(bool value) { Raw(value ? "true" : "false"); }

  // A desktop text: code page 950 bytes, where the pair 0xA2 0x58 is the
  // degree sign U+00B0 and any other byte of 0x80 or more is shown as the code
  // point of the same value.
  void DesktopString(const char* text);

  // A handheld text: UTF-16 units (unpaired surrogates become U+FFFD).
  template <class Ch>
  void Utf16String(const Ch* text) {
    Byte('"');
    while (*text != Ch(0)) {
      unsigned long unit = static_cast<unsigned long>(*text++) & 0xFFFFu;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const unsigned long next = static_cast<unsigned long>(*text) & 0xFFFFu;
        if (next >= 0xDC00 && next <= 0xDFFF) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
          ++text;
        } else {
          unit = 0xFFFD;
        }
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        unit = 0xFFFD;
      }
      CodePoint(unit);
    }
    Byte('"');
  }

  // Writes out what is buffered; returns false when the output failed.
  bool Flush();

  // What was written since `from` (a Position()), while it is still in the
  // buffer; false once a flush has sent part of it out.
  struct Position {
    unsigned used;
    unsigned long flushes;
  };
  Position Here() const { return Position{used_, flushes_}; }
  bool WrittenSince(Position from, const char*& bytes, std::size_t& count) const {
    if (from.flushes != flushes_) return false;
    bytes = buffer_ + from.used;
    count = used_ - from.used;
    return true;
  }

 private:
  void LongBlock(const char* bytes, std::size_t count);
  void Byte(char c) {
    if (used_ == sizeof buffer_) Flush();
    buffer_[used_++] = c;
  }
  void CodePoint(unsigned long cp);  // escaped as a string character

  std::FILE* out_;
  char buffer_[1 << 16];
  unsigned used_ = 0;
  unsigned long flushes_ = 0;
  bool failed_ = false;
};

}  // namespace trelvane::decode
