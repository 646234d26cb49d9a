// The one JSON writer: the objects the receiver is shared with
// (share_feed, gpsd_protocol) and trelvane-decode's lines. Text is put
// together in the caller's buffer, and every write is bounded by it:
// - a text that must fit (a shared object) is spoiled by a write that does
//   not, and a spoiled text is never handed on (Finish() gives 0);
// - a text that streams out (the decoder's) has a drain, which takes the
//   full buffer whenever more is to be written, so nothing is ever spoiled.
// Numbers are written without printf, so that no locale can put a "," for
// the decimal point: whole numbers digit by digit, the others by
// std::to_chars.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace trelvane::monitor {

class JsonText {
 public:
  // Where a streaming text's full buffer goes: write(context, bytes,
  // length), false when it could not go.
  struct Drain {
    bool (*write)(void* context, const char* bytes, int length);
    void* context;
  };

  JsonText(char* buffer, int capacity) : out_(buffer), capacity_(capacity) {}
  JsonText(char* buffer, int capacity, Drain drain) : out_(buffer), capacity_(capacity), drain_(drain) {}
  JsonText(const JsonText&) = delete;
  JsonText& operator=(const JsonText&) = delete;

  // Text as it stands: punctuation, keys, and objects already made.
  void Raw(const char* text) { Raw(text, static_cast<int>(std::strlen(text))); }
  void Raw(const char* text, int length) {
    if (length <= capacity_ - length_) {
      std::memcpy(out_ + length_, text, static_cast<std::size_t>(length));
      length_ += length;
      return;
    }
    RawPastTheEnd(text, length);
  }
  // A string literal, its length known where it is written.
  // Copied here rather than through Raw: its length is a constant, so the
  // copy is a few moves, and the decoder writes one on every key.
  template <std::size_t N>
  void Literal(const char (&text)[N]) {
    constexpr int kLength = static_cast<int>(N - 1);
    if (kLength <= capacity_ - length_) {
      std::memcpy(out_ + length_, text, N - 1);
      length_ += kLength;
      return;
    }
    RawPastTheEnd(text, kLength);
  }

  // `,"key":`, or `"key":` right after an opening brace or bracket.
  void Key(const char* key) {
    Separate();
    Put('"');
    Raw(key);
    Raw("\":", 2);
  }

  // A comma before the next element of an array, unless it is the first (a
  // text that must fit: a drained one has no first element to look at).
  void Separate() {
    if (length_ > 0 && out_[length_ - 1] != '{' && out_[length_ - 1] != '[') Put(',');
  }

  // A quoted string: at most `limit` bytes of `text`, up to its terminator.
  void String(const char* text, int limit) {
    int length = 0;
    while (length < limit && text[length] != 0) ++length;
    Put('"');
    Escaped(text, length);
    Put('"');
  }

  // Exactly `length` bytes of `text` as the inside of a string: quotes and
  // backslashes escaped, control characters (a zero too) and bytes past
  // ASCII as \u00XX (each byte read as Latin-1), so the text stays ASCII.
  void Escaped(const char* text, int length) {
    for (int i = 0; i < length; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c == '"' || c == '\\' || c < 0x20 || c >= 0x7F) {
        Escape(c);
      } else {
        Put(static_cast<char>(c));
      }
    }
  }

  // The desktop's text, as a quoted string in UTF-8: code page 950 bytes,
  // where the pair 0xA2 0x58 is the degree sign U+00B0 and any other byte
  // of 0x80 or more is shown as the code point of the same value.
  void DesktopString(const char* text) {
    Put('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
      if (p[0] == 0xA2 && p[1] == 0x58) {
        CodePoint(0xB0);
        ++p;
      } else {
        CodePoint(p[0]);
      }
    }
    Put('"');
  }

  // The handheld's text (UTF-16 units), as a quoted string in UTF-8;
  // unpaired surrogates become U+FFFD.
  template <class Ch>
  void Utf16String(const Ch* text) {
    Put('"');
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
    Put('"');
  }

  void Int(long long value) {
    char digits[24];
    int n = 0;
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
      digits[n++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[n++] = '-';
    char text[24];
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    Raw(text, n);
  }

  void Bool(bool value) {
    if (value) {
      Literal("true");
    } else {
      Literal("false");
    }
  }

  // Whether Fixed can write `value` with `decimals` (0 to 9) decimals: a
  // finite number whose scaled value stays well inside 64 bits.
  static bool Fits(double value, int decimals) {
    return std::isfinite(value) && std::fabs(value) * Scale(decimals) < 1e17;
  }

  // `value` rounded to `decimals` decimals as printf rounds it (the value's
  // exact binary fraction decides, an exact half goes to the even digit),
  // every decimal written ("14.2000"); no minus sign on a value that rounds
  // to zero. A value that does not fit spoils the text.
  void Fixed(double value, int decimals) {
    if (!Fits(value, decimals)) {
      spoiled_ = true;
      return;
    }
    char text[40];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    bool zero = true;  // every digit written is 0
    for (const char* at = text; at < written.ptr; ++at) zero = zero && (*at == '-' || *at == '0' || *at == '.');
    const char* start = zero && text[0] == '-' ? text + 1 : text;
    Raw(start, static_cast<int>(written.ptr - start));
  }

  // `value` in the fewest digits that read back as the same double; nothing
  // for a value that is not finite (JSON has no word for it).
  void Shortest(double value) {
    if (!std::isfinite(value)) return;
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    Raw(text, static_cast<int>(written.ptr - text));
  }

  int Length() const { return length_; }
  bool Spoiled() const { return spoiled_; }

  // Ends a text that must fit with a terminator after it; its length, or 0
  // when it was spoiled (the buffer then holds an empty text, where it has
  // room for one).
  int Finish() {
    if (!spoiled_ && length_ < capacity_) {
      out_[length_] = 0;
      return length_;
    }
    if (capacity_ > 0) out_[0] = 0;
    return 0;
  }

  // A streaming text: what the buffer holds goes to the drain; false once
  // anything could not go.
  bool Flush() {
    ++drains_;
    if (length_ > 0 && drain_.write != nullptr) failed_ = !drain_.write(drain_.context, out_, length_) || failed_;
    length_ = 0;
    return !failed_;
  }

  // What was written since `from` (a Here()), while it is still in the
  // buffer; false once the drain has taken part of it.
  struct Position {
    int length;
    unsigned long drains;
  };
  Position Here() const { return Position{length_, drains_}; }
  bool WrittenSince(Position from, const char*& bytes, std::size_t& count) const {
    if (from.drains != drains_) return false;
    bytes = out_ + from.length;
    count = static_cast<std::size_t>(length_ - from.length);
    return true;
  }

 private:
  static double Scale(int decimals) {
    double scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    return scale;
  }

  // What does not fit after what the buffer holds: drained first, or the
  // text spoiled; a piece longer than the whole buffer goes straight out.
  void RawPastTheEnd(const char* text, int length) {
    if (drain_.write == nullptr || !Flush()) {
      spoiled_ = true;
      return;
    }
    if (length > capacity_) {
      failed_ = !drain_.write(drain_.context, text, length) || failed_;
      return;
    }
    std::memcpy(out_, text, static_cast<std::size_t>(length));
    length_ = length;
  }

  void Put(char c) {
    if (length_ == capacity_ && (drain_.write == nullptr || !Flush())) {
      spoiled_ = true;
      return;
    }
    out_[length_++] = c;
  }

  void Escape(unsigned long c) {
    static const char kHex[] = "0123456789abcdef";
    if (c == '"' || c == '\\') {
      const char pair[] = {'\\', static_cast<char>(c)};
      Raw(pair, 2);
      return;
    }
    const char code[] = {'\\', 'u', '0', '0', kHex[(c >> 4) & 15], kHex[c & 15]};
    Raw(code, 6);
  }

  // One character of a string in UTF-8: quotes, backslashes and control
  // characters escaped.
  void CodePoint(unsigned long cp) {
    if (cp == '"' || cp == '\\' || cp < 0x20 || cp == 0x7F) {
      Escape(cp);
    } else if (cp < 0x80) {
      Put(static_cast<char>(cp));
    } else if (cp < 0x800) {
      const char bytes[] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
      Raw(bytes, 2);
    } else if (cp < 0x10000) {
      const char bytes[] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                            static_cast<char>(0x80 | (cp & 0x3F))};
      Raw(bytes, 3);
    } else {
      const char bytes[] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
      Raw(bytes, 4);
    }
  }

  char* out_;
  int capacity_;
  int length_ = 0;
  Drain drain_ = {nullptr, nullptr};
  unsigned long drains_ = 0;
  bool spoiled_ = false;
  bool failed_ = false;
};

}  // namespace trelvane::monitor
