#include "tools/decode/json_writer.hpp"

#include <cstring>

namespace trelvane::decode {

void JsonWriter::Raw(const char* text) { Block(text, std::strlen(text)); }

void JsonWriter::LongBlock(const char* bytes, std::size_t count) {
  Flush();
  if (count > sizeof buffer_) {
    if (std::fwrite(bytes, 1, count, out_) != count) failed_ = true;
    return;
  }
  std::memcpy(buffer_, bytes, count);
  used_ = static_cast<unsigned>(count);
}

void JsonWriter::Int(long long value) {
  char digits[24];
  int n = 0;
  unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char text[25];
  int length = 0;
  if (value < 0) text[length++] = '-';
  while (n > 0) text[length++] = digits[--n];
  Block(text, static_cast<std::size_t>(length));
}

void JsonWriter::DesktopString(const char* text) {
  Byte('"');
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (p[0] == 0xA2 && p[1] == 0x58) {
      CodePoint(0xB0);
      ++p;
    } else {
      CodePoint(p[0]);
    }
  }
  Byte('"');
}

void JsonWriter::CodePoint(unsigned long cp) {
  static const char kHex[] = "0123456789abcdef";
  if (cp == '"' || cp == '\\') {
    Byte('\\');
    Byte(static_cast<char>(cp));
  } else if (cp < 0x20 || cp == 0x7F) {
    Raw("\\u00");
    Byte(kHex[cp >> 4]);
    Byte(kHex[cp & 15]);
  } else if (cp < 0x80) {
    Byte(static_cast<char>(cp));
  } else if (cp < 0x800) {
    Byte(static_cast<char>(0xC0 | (cp >> 6)));
    Byte(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    Byte(static_cast<char>(0xE0 | (cp >> 12)));
    Byte(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    Byte(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    Byte(static_cast<char>(0xF0 | (cp >> 18)));
    Byte(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    Byte(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    Byte(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool JsonWriter::Flush() {
  ++flushes_;
  if (used_ != 0 && std::fwrite(buffer_, 1, used_, out_) != used_) failed_ = true;
  used_ = 0;
  if (std::fflush(out_) != 0) failed_ = true;
  return !failed_;
}

}  // namespace trelvane::decode
