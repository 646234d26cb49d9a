// JSON text put together in a caller's fixed buffer, for the objects the
// receiver is shared with (share_feed.hpp, gpsd_protocol.hpp). Every write is
// bounded by the buffer; a write that does not fit spoils the text, and a
// spoiled text is never handed on (Finish() gives 0). Numbers are written
// without printf, so that no locale can put a "," for the decimal point.
#pragma once

#include <cmath>

namespace trelvane::monitor {

class JsonText {
 public:
  JsonText(char* buffer, int capacity) : out_(buffer), capacity_(capacity) {}

  // Text as it stands: punctuation, keys, and objects already made.
  void Raw(const char* text) {
    for (; *text != 0; ++text) Put(*text);
  }
  void Raw(const char* text, int length) {
    for (int i = 0; i < length; ++i) Put(text[i]);
  }

  // `,"key":`, or `"key":` right after an opening brace or bracket.
  void Key(const char* key) {
    Separate();
    Put('"');
    Raw(key);
    Raw("\":");
  }

  // A comma before the next element of an array, unless it is the first.
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
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < length; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c == '"' || c == '\\') {
        Put('\\');
        Put(static_cast<char>(c));
      } else if (c < 0x20 || c >= 0x7F) {
        Raw("\\u00");
        Put(kHex[c >> 4]);
        Put(kHex[c & 15]);
      } else {
        Put(static_cast<char>(c));
      }
    }
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
    if (value < 0) Put('-');
    while (n > 0) Put(digits[--n]);
  }

  void Bool(bool value) { Raw(value ? "true" : "false"); }

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
    // |value| * 10^decimals is `product` + `residual` exactly; the residual
    // decides a product that fell on a half.
    const double scale = Scale(decimals);
    const double product = std::fabs(value) * scale;
    const double residual = std::fma(std::fabs(value), scale, -product);
    const double whole = std::floor(product);
    long long scaled = static_cast<long long>(whole);
    const double fraction = product - whole;
    if (fraction > 0.5 || (fraction == 0.5 && (residual > 0 || (residual == 0 && scaled % 2 != 0)))) ++scaled;
    if (value < 0 && scaled != 0) Put('-');
    const long long unit = static_cast<long long>(scale);
    Int(scaled / unit);
    if (decimals == 0) return;
    Put('.');
    char digits[10];
    long long fraction10 = scaled % unit;
    for (int k = decimals - 1; k >= 0; --k) {
      digits[k] = static_cast<char>('0' + fraction10 % 10);
      fraction10 /= 10;
    }
    Raw(digits, decimals);
  }

  int Length() const { return length_; }
  bool Spoiled() const { return spoiled_; }

  // Ends the text with a terminator after it; its length, or 0 when it was
  // spoiled (the buffer then holds an empty text, where it has room for one).
  int Finish() {
    if (!spoiled_ && length_ < capacity_) {
      out_[length_] = 0;
      return length_;
    }
    if (capacity_ > 0) out_[0] = 0;
    return 0;
  }

 private:
  static double Scale(int decimals) {
    double scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    return scale;
  }

  void Put(char c) {
    if (length_ < capacity_) {
      out_[length_++] = c;
    } else {
      spoiled_ = true;
    }
  }

  char* out_;
  int capacity_;
  int length_ = 0;
  bool spoiled_ = false;
};

}  // namespace trelvane::monitor
