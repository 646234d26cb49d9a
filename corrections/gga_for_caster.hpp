// The receiver's position as a caster is sent it: its latest GGA, always as
// `$GPGGA` (some casters take no other talker), never one without a
// position, and with the current UTC in place of its own time when the
// receiver has sent none for a while (a network mountpoint drops a client
// whose position stops). Portable.
#pragma once

#include <cstdio>
#include <cstring>

namespace trelvane::corrections {

constexpr int kGgaLineChars = 128;
// A GGA older than this goes with the current time in place of its own.
constexpr unsigned kStaleGgaMs = 30000;

// The start and length of field `index` (0 is the address) of the
// sentence `line`, before its `*`; false when it has fewer fields.
inline bool GgaField(const char* line, int length, int index, int& start, int& size) {
  int field = 0;
  int at = 0;
  start = 0;
  for (; at <= length; ++at) {
    const bool end = at == length || line[at] == ',' || line[at] == '*';
    if (!end) continue;
    if (field == index) {
      size = at - start;
      return true;
    }
    if (at == length || line[at] == '*') return false;
    ++field;
    start = at + 1;
  }
  return false;
}

// `line` is a GGA (any talker) with a fix: a quality other than 0 and a
// latitude and longitude.
inline bool GgaHasPosition(const char* line, int length) {
  int start = 0, size = 0;
  if (length < 7 || line[0] != '$' || !GgaField(line, length, 0, start, size) || size != 6 ||
      std::strncmp(line + start + 3, "GGA", 3) != 0) {
    return false;
  }
  for (int field : {2, 3, 4, 5}) {
    if (!GgaField(line, length, field, start, size) || size == 0) return false;
  }
  if (!GgaField(line, length, 6, start, size) || size == 0) return false;
  for (int i = 0; i < size; ++i) {
    if (line[start + i] != '0') return true;
  }
  return false;
}

// Writes `line` (a GGA without its line end) into `out` as the caster gets
// it: talker GP, the time field replaced by `utc` (hhmmss.ss) when given,
// the checksum worked out again, then CR LF. The length written, or 0 when
// `line` has no position or it does not fit.
inline int GgaForCaster(const char* line, int length, const char* utc, char* out, int capacity) {
  while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) --length;
  if (!GgaHasPosition(line, length)) return 0;
  int timeStart = 0, timeSize = 0;
  GgaField(line, length, 1, timeStart, timeSize);
  const char* star = static_cast<const char*>(std::memchr(line, '*', static_cast<std::size_t>(length)));
  const int body = star != nullptr ? static_cast<int>(star - line) : length;
  char text[kGgaLineChars];
  int n = 0;
  auto put = [&](const char* from, int count) {
    if (count < 0 || n + count >= kGgaLineChars) return false;
    std::memcpy(text + n, from, static_cast<std::size_t>(count));
    n += count;
    return true;
  };
  const bool built = put("$GPGGA", 6) && put(line + 6, timeStart - 6) &&
                     (utc != nullptr ? put(utc, static_cast<int>(std::strlen(utc))) : put(line + timeStart, timeSize)) &&
                     put(line + timeStart + timeSize, body - timeStart - timeSize);
  if (!built) return 0;
  unsigned char sum = 0;
  for (int i = 1; i < n; ++i) sum = static_cast<unsigned char>(sum ^ static_cast<unsigned char>(text[i]));
  const int written = std::snprintf(out, static_cast<std::size_t>(capacity), "%.*s*%02X\r\n", n, text, sum);
  return written > 0 && written < capacity ? written : 0;
}

}  // namespace trelvane::corrections
