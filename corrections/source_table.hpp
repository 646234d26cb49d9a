// A caster's source table, read as it arrives: its STR lines become the
// mountpoints a user picks from, each shown as "NAME (FORMAT, COUNTRY, D km)"
// with its distance from the receiver when the receiver has a position,
// nearest first. CAS and NET lines, and lines too long to be a caster's,
// are passed over. The table is read once per "Get List", off the window's
// thread; it holds at most kMaxMounts mountpoints.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace trelvane::corrections {

struct Mountpoint {
  char name[64] = {};
  char format[32] = {};
  char country[8] = {};
  double latitude = 0, longitude = 0;
  bool placed = false;   // the table gave a position
  double distanceKm = -1;  // from the receiver; -1 when either position is missing
};

// Great-circle distance on a sphere of the earth's mean radius.
inline double DistanceKm(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRadians = 3.14159265358979323846 / 180.0;
  const double dLat = (lat2 - lat1) * kRadians;
  const double dLon = (lon2 - lon1) * kRadians;
  const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * 6371.0 * std::asin(std::sqrt(a < 1 ? a : 1));
}

// Measures each mountpoint from the receiver at (`latitude`, `longitude`)
// when `placed`, and orders them nearest first; unplaced mountpoints, or all
// when the receiver has no position, keep the table's order after.
inline void OrderByDistance(std::vector<Mountpoint>& mounts, bool placed, double latitude, double longitude) {
  for (Mountpoint& mount : mounts) {
    mount.distanceKm = placed && mount.placed ? DistanceKm(latitude, longitude, mount.latitude, mount.longitude) : -1;
  }
  std::stable_sort(mounts.begin(), mounts.end(), [](const Mountpoint& a, const Mountpoint& b) {
    if ((a.distanceKm < 0) != (b.distanceKm < 0)) return b.distanceKm < 0;
    return a.distanceKm < b.distanceKm;
  });
}

class SourceTable {
 public:
  static constexpr std::size_t kMaxMounts = 4096;
  static constexpr int kLineBytes = 1024;

  void Take(const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const char c = static_cast<char>(bytes[i]);
      if (c == '\n') {
        if (!tooLong_) TakeLine();
        length_ = 0;
        tooLong_ = false;
      } else if (c != '\r') {
        if (length_ < kLineBytes - 1) {
          line_[length_++] = c;
        } else {
          tooLong_ = true;
        }
      }
    }
  }
  // The table's last line may come without its line end when the caster closes.
  void Finish() {
    if (length_ > 0 && !tooLong_) TakeLine();
    length_ = 0;
  }

  bool Complete() const { return ended_; }
  const std::vector<Mountpoint>& Mounts() const { return mounts_; }

  // The mountpoints nearest first (OrderByDistance).
  void Order(bool placed, double latitude, double longitude) { OrderByDistance(mounts_, placed, latitude, longitude); }

  // "NAME (FORMAT, COUNTRY, D km)", or without the distance when there is none.
  static void ItemText(const Mountpoint& mount, char* out, int capacity) {
    if (capacity <= 0) return;
    if (mount.distanceKm >= 0) {
      std::snprintf(out, static_cast<std::size_t>(capacity), "%s (%s, %s, %.0f km)", mount.name, mount.format,
                    mount.country, mount.distanceKm);
    } else {
      std::snprintf(out, static_cast<std::size_t>(capacity), "%s (%s, %s)", mount.name, mount.format, mount.country);
    }
  }

  // The mountpoint's name from an item's text: what precedes " (".
  static void NameOfItem(const char* item, char* out, int capacity) {
    int n = 0;
    for (; item[n] != '\0' && !(item[n] == ' ' && item[n + 1] == '(') && n < capacity - 1; ++n) out[n] = item[n];
    if (capacity > 0) out[n] = '\0';
  }

 private:
  void TakeLine() {
    line_[length_] = '\0';
    if (std::strncmp(line_, "ENDSOURCETABLE", 14) == 0) ended_ = true;
    if (std::strncmp(line_, "STR;", 4) != 0 || mounts_.size() >= kMaxMounts) return;
    // Fields: 0 STR, 1 mountpoint, 2 identifier, 3 format, 4 details, 5
    // carrier, 6 systems, 7 network, 8 country, 9 latitude, 10 longitude, ...
    const char* fields[12] = {};
    int lengths[12] = {};
    int count = 0;
    const char* start = line_;
    for (const char* at = line_;; ++at) {
      if (*at == ';' || *at == '\0') {
        if (count < 12) {
          fields[count] = start;
          lengths[count] = static_cast<int>(at - start);
        }
        ++count;
        start = at + 1;
        if (*at == '\0') break;
      }
    }
    if (count < 11 || lengths[1] == 0) return;
    Mountpoint mount;
    Copy(fields[1], lengths[1], mount.name, sizeof mount.name);
    Copy(fields[3], lengths[3], mount.format, sizeof mount.format);
    Copy(fields[8], lengths[8], mount.country, sizeof mount.country);
    mount.placed = ReadDegrees(fields[9], lengths[9], 90, mount.latitude) &&
                   ReadDegrees(fields[10], lengths[10], 360, mount.longitude);
    if (mount.placed && mount.longitude > 180) mount.longitude -= 360;
    mounts_.push_back(mount);
  }

  static void Copy(const char* from, int length, char* to, std::size_t capacity) {
    std::size_t n = 0;
    for (; n < static_cast<std::size_t>(length) && n + 1 < capacity; ++n) to[n] = from[n];
    to[n] = '\0';
  }

  // A decimal number of degrees within +-limit, nothing else in the field.
  static bool ReadDegrees(const char* field, int length, double limit, double& out) {
    char text[32];
    if (length <= 0 || length >= static_cast<int>(sizeof text)) return false;
    Copy(field, length, text, sizeof text);
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end == text + length && std::isfinite(out) && out >= -limit && out <= limit;
  }

  std::vector<Mountpoint> mounts_;
  char line_[kLineBytes] = {};
  int length_ = 0;
  bool tooLong_ = false;
  bool ended_ = false;
};

}  // namespace trelvane::corrections
