#include "tools/sim/fix_times.hpp"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "tools/sim/noise.hpp"

namespace trelvane::sim {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Field `n` (0 is the address) of a sentence: its offset and length.
bool Field(std::string_view line, int n, std::size_t& at, std::size_t& length) {
  std::size_t start = 0;
  for (int field = 0; field < n; ++field) {
    start = line.find(',', start);
    if (start == std::string_view::npos) return false;
    ++start;
  }
  std::size_t end = line.find_first_of(",*", start);
  if (end == std::string_view::npos) end = line.size();
  at = start;
  length = end - start;
  return true;
}

// The checksum after '*' worked out again, where there is one.
void Checksum(char* line, std::size_t size) {
  const char* star = static_cast<const char*>(std::memchr(line, '*', size));
  if (line[0] != '$' || star == nullptr || static_cast<std::size_t>(star - line) + 3 > size) return;
  unsigned char sum = 0;
  for (const char* c = line + 1; c < star; ++c) sum = static_cast<unsigned char>(sum ^ static_cast<unsigned char>(*c));
  char* digits = line + (star - line) + 1;
  digits[0] = kHex[sum >> 4];
  digits[1] = kHex[sum & 15];
}

void WriteTime(char* to, std::uint32_t centiseconds) {
  char text[16];
  const std::uint32_t seconds = centiseconds / 100 % 86400;
  std::snprintf(text, sizeof text, "%02u%02u%02u.%02u", seconds / 3600, seconds / 60 % 60, seconds % 60,
                centiseconds % 100);
  std::memcpy(to, text, 9);
}

}  // namespace

bool FixTimeField(std::string_view line, std::size_t& at, std::size_t& length) {
  if (line.size() < 7 || line[0] != '$') return false;
  const std::string_view type = line.substr(3, 3);
  int field = 0;
  for (const char* timed : {"GGA", "RMC", "GNS", "GST", "ZDA", "GBS", "GRS"}) {
    if (type == timed) field = 1;
  }
  if (type == "GLL") field = 5;
  return field != 0 && line[6] == ',' && Field(line, field, at, length) && length >= 6;
}

bool ReadFixTime(std::string_view line, std::uint32_t& centiseconds) {
  std::size_t at = 0, length = 0;
  if (!FixTimeField(line, at, length)) return false;
  const std::string_view time = line.substr(at, length);
  for (std::size_t i = 0; i < 6; ++i) {
    if (time[i] < '0' || time[i] > '9') return false;
  }
  const auto two = [&](std::size_t i) { return static_cast<std::uint32_t>((time[i] - '0') * 10 + (time[i + 1] - '0')); };
  std::uint32_t hundredths = 0;
  if (time.size() > 7 && time[6] == '.') {
    hundredths = static_cast<std::uint32_t>(time[7] - '0') * 10;
    if (time.size() > 8) hundredths += static_cast<std::uint32_t>(time[8] - '0');
  }
  centiseconds = ((two(0) * 60 + two(2)) * 60 + two(4)) * 100 + hundredths;
  return two(0) < 24 && two(2) < 60 && two(4) < 61 && hundredths < 100;
}

void TimeInHundredths(std::string& line) {
  std::size_t at = 0, length = 0;
  std::uint32_t centiseconds = 0;
  if (!ValidSentence(line + "\r\n") || !ReadFixTime(line, centiseconds) || !FixTimeField(line, at, length)) return;
  line.replace(at, length, 9, '0');
  WriteTime(&line[at], centiseconds);
  Checksum(&line[0], line.size());
}

void UtcDate(std::int64_t utcSeconds, char (&ddmmyy)[32]) {
  const std::time_t seconds = static_cast<std::time_t>(utcSeconds);
  std::tm day = {};
#ifdef _WIN32
  gmtime_s(&day, &seconds);
#else
  gmtime_r(&seconds, &day);
#endif
  std::snprintf(ddmmyy, sizeof ddmmyy, "%02d%02d%02d", day.tm_mday, day.tm_mon + 1, day.tm_year % 100);
}

void StampCycle(std::string& cycle, std::uint32_t centiseconds, const char* ddmmyy, bool noFix) {
  for (std::size_t start = 0; start < cycle.size();) {
    std::size_t end = cycle.find('\n', start);
    if (end == std::string::npos) end = cycle.size();
    const std::string_view line(cycle.data() + start, end - start);
    std::size_t at = 0, length = 0;
    // Only a sentence that was valid: noise stays noise.
    if (FixTimeField(line, at, length) && length == 9 &&
        ValidSentence(std::string_view(cycle.data() + start, end + 1 - start))) {
      WriteTime(&cycle[start + at], centiseconds);
      // A field is rewritten only where the new text has its length.
      const auto put = [&](int field, const char* text) {
        if (Field(line, field, at, length) && length == std::strlen(text)) std::memcpy(&cycle[start + at], text, length);
      };
      const std::string_view type = line.substr(3, 3);
      if (type == "RMC" && ddmmyy != nullptr) put(9, ddmmyy);
      if (type == "RMC" && noFix) put(2, "V");
      if (type == "GGA" && noFix) put(6, "0");
      Checksum(&cycle[start], line.size());
    }
    start = end + 1;
  }
}

}  // namespace trelvane::sim
