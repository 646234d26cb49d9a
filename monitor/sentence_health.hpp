// Every sentence's health: one row per address as received (talker and type,
// "GNGGA", "GPGSV", "PUBX"), and one per binary protocol, with its count, its
// rate over the last ten seconds, the bad checksums whose head still named it,
// the longest gap between two of them and the age of the last. A sentence
// type that is dropped or corrupted shows on its own row, where the link's
// totals hide it among the good ones.
//
// Fixed storage, nothing allocated per line: each row keeps the arrival
// times of its last kArrivals lines, enough for ten seconds at 12 Hz; a
// faster row's rate is read from the span of the times it keeps.
#pragma once

#include <cstdint>
#include <cstdio>

#include "nmea/text.hpp"

namespace trelvane::monitor {

constexpr int kHealthRows = 40;
constexpr int kAddressChars = 10;  // "PMTK705" and a zero, with room
constexpr std::uint32_t kRateWindowMs = 10000;
constexpr int kArrivals = 128;

// The binary frames the stream lexer takes out of the stream.
inline const char* FrameProtocol(const unsigned char* frame, int length) {
  static const char kNames[][kAddressChars] = {"UBX", "SiRF", "RTCM3", "binary"};
  if (length >= 2 && frame[0] == 0xB5 && frame[1] == 0x62) return kNames[0];
  if (length >= 2 && frame[0] == 0xA0 && frame[1] == 0xA2) return kNames[1];
  if (length >= 1 && frame[0] == 0xD3) return kNames[2];
  return kNames[3];
}

// The address of a sentence whose head is readable: '$' or '!', two to eight
// capitals or digits, then a comma. False for anything else.
template <class Ch>
bool ReadAddress(const Ch* line, int length, char (&address)[kAddressChars]) {
  if (length < 4 || (line[0] != Ch('$') && line[0] != Ch('!'))) return false;
  int n = 0;
  for (int i = 1; i < length && n < kAddressChars - 1; ++i, ++n) {
    const Ch c = line[i];
    if (c == Ch(',')) break;
    const bool capital = c >= Ch('A') && c <= Ch('Z');
    if (!capital && !nmea::IsDecimalDigit(c)) return false;
    address[n] = static_cast<char>(c);
  }
  if (n < 2 || n > 8 || n + 1 >= length || line[n + 1] != Ch(',')) return false;
  address[n] = 0;
  return true;
}

class SentenceHealth {
 public:
  struct Row {
    char address[kAddressChars] = {};
    bool binary = false;
    unsigned long count = 0;  // good ones
    unsigned long bad = 0;    // bad checksums under this address
    std::uint32_t firstMs = 0;
    std::uint32_t lastMs = 0;
    std::uint32_t longestGapMs = 0;
    std::uint32_t arrivals[kArrivals] = {};
    int kept = 0;  // arrival times kept, up to kArrivals
    int next = 0;  // where the next one goes
  };

  // A line as the reader cut it, at `now` (ms); `good` when its checksum
  // passed. A bad one whose head is unreadable belongs to no row.
  template <class Ch>
  void Line(const Ch* line, int length, bool good, std::uint32_t now) {
    char address[kAddressChars];
    if (!ReadAddress(line, length, address)) return;
    Row* row = Find(address, false);
    if (row == nullptr) return;
    if (good) {
      Arrived(*row, now);
    } else {
      ++row->bad;
    }
  }

  void Frame(const unsigned char* frame, int length, std::uint32_t now) {
    Row* row = Find(FrameProtocol(frame, length), true);
    if (row != nullptr) Arrived(*row, now);
  }

  // Counts and gaps start again; the rows' addresses go with them.
  void Reset() { count_ = 0; }

  int Count() const { return count_; }
  const Row& At(int i) const { return rows_[i]; }

  // Lines a second over the last ten seconds at `now`, or since the row's
  // first line when it is younger.
  static double Rate(const Row& row, std::uint32_t now) {
    if (row.kept == 0) return 0.0;
    int inWindow = 0;
    std::uint32_t oldest = now;
    for (int i = 0; i < row.kept; ++i) {
      const std::uint32_t at = row.arrivals[i];
      if (now - at < kRateWindowMs) {
        ++inWindow;
        if (now - at > now - oldest) oldest = at;
      }
    }
    // A full ring: the rate over the span it holds (a batch that came in at
    // one tick spans nothing, and falls to the window's count).
    if (inWindow == kArrivals && row.lastMs != oldest) {
      return 1000.0 * (kArrivals - 1) / static_cast<double>(row.lastMs - oldest);
    }
    if (now - row.firstMs >= kRateWindowMs) return inWindow * 1000.0 / kRateWindowMs;
    // Younger than the window: the rate between its first and last lines.
    if (row.count < 2 || row.lastMs == row.firstMs) return 0.0;
    return 1000.0 * static_cast<double>(row.count - 1) / static_cast<double>(row.lastMs - row.firstMs);
  }

  // The table as the health page shows it, a row a line under a header,
  // ordered by address; CR LF between lines, cut to `capacity`.
  template <class Ch>
  void Format(Ch* out, int capacity, std::uint32_t now) const {
    nmea::TextBuilder<Ch> text(out, capacity);
    text.AppendAscii("Sentence  Count  Rate/s  Bad  Longest gap  Last");
    for (int i = 0; i < count_; ++i) {
      const Row& row = rows_[i];
      char line[96];
      std::snprintf(line, sizeof line, "\r\n%-8s %6lu %7.1f %4lu %10.1f s %5.1f s", row.address, row.count,
                    Rate(row, now), row.bad, row.longestGapMs / 1000.0,
                    row.count == 0 ? 0.0 : (now - row.lastMs) / 1000.0);
      text.AppendAscii(line);
    }
  }

 private:
  static void Arrived(Row& row, std::uint32_t now) {
    if (row.count == 0) {
      row.firstMs = now;
    } else if (now - row.lastMs > row.longestGapMs) {
      row.longestGapMs = now - row.lastMs;
    }
    row.lastMs = now;
    ++row.count;
    row.arrivals[row.next] = now;
    row.next = (row.next + 1) % kArrivals;
    if (row.kept < kArrivals) ++row.kept;
  }

  // The row of `address`, made in its place in address order when new; null
  // when the table is full.
  Row* Find(const char* address, bool binary) {
    int at = 0;
    for (; at < count_; ++at) {
      const int order = Compare(rows_[at].address, address);
      if (order == 0) return &rows_[at];
      if (order > 0) break;
    }
    if (count_ == kHealthRows) return nullptr;
    for (int i = count_; i > at; --i) rows_[i] = rows_[i - 1];
    ++count_;
    rows_[at] = Row();
    for (int i = 0; i < kAddressChars - 1 && address[i] != 0; ++i) rows_[at].address[i] = address[i];
    rows_[at].binary = binary;
    return &rows_[at];
  }
  static int Compare(const char* a, const char* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
  }

  Row rows_[kHealthRows];
  int count_ = 0;
};

}  // namespace trelvane::monitor
