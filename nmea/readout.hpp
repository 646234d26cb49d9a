// Where the readout texts go: the desktop keeps them in a FixDisplayRecord that
// its information page draws; the handheld sets them into edit controls.
#pragma once

#include "nmea/text.hpp"

namespace trelvane::nmea {

enum class ReadoutField : int {
  kDate,
  kUtc,
  kDirection,
  kSpeed,
  kStatus,
  kHdop,
  kPdop,
  kNorthSouth,
  kLatitude,
  kEastWest,
  kLongitude,
};
constexpr int kReadoutFieldCount = 11;

// The desktop readout: eleven zero-terminated code page 950 texts, all empty
// at first. Each text keeps its last decoded value; a text longer than its
// capacity is cut to fit.
struct FixDisplayRecord {
  char date[15] = {};
  char utc[10] = {};
  char direction[10] = {};
  char speed[10] = {};
  char status[10] = {};
  char hdop[10] = {};
  char pdop[10] = {};
  char northSouth[10] = {};
  char latitude[15] = {};
  char eastWest[10] = {};
  char longitude[15] = {};

 private:
  // Calls `visit` with the array of `field`, so that its capacity stays known.
  template <class Record, class Visit>
  static auto WithText(Record& record, ReadoutField field, Visit visit) {
    switch (field) {
      case ReadoutField::kDate: return visit(record.date);
      case ReadoutField::kUtc: return visit(record.utc);
      case ReadoutField::kDirection: return visit(record.direction);
      case ReadoutField::kSpeed: return visit(record.speed);
      case ReadoutField::kStatus: return visit(record.status);
      case ReadoutField::kHdop: return visit(record.hdop);
      case ReadoutField::kPdop: return visit(record.pdop);
      case ReadoutField::kNorthSouth: return visit(record.northSouth);
      case ReadoutField::kLatitude: return visit(record.latitude);
      case ReadoutField::kEastWest: return visit(record.eastWest);
      case ReadoutField::kLongitude: break;
    }
    return visit(record.longitude);
  }

 public:
  const char* Text(ReadoutField field) const {
    return WithText(*this, field, [](const auto& text) -> const char* { return text; });
  }

  void Set(ReadoutField field, const char* text) {
    WithText(*this, field, [text](auto& target) { CopyText(target, static_cast<int>(sizeof target), text); });
  }
};

// Edit controls of the handheld information page that show each text.
constexpr int kIdcDate = 1021;
constexpr int kIdcUtc = 1022;
constexpr int kIdcDirection = 1023;
constexpr int kIdcSpeed = 1024;
constexpr int kIdcFixStatus = 1025;
constexpr int kIdcHdop = 1026;
constexpr int kIdcPdop = 1027;
constexpr int kIdcLonHemisphere = 1028;
constexpr int kIdcLatHemisphere = 1029;
constexpr int kIdcLon = 1031;
constexpr int kIdcLat = 1032;

constexpr int ReadoutControlId(ReadoutField field) {
  switch (field) {
    case ReadoutField::kDate: return kIdcDate;
    case ReadoutField::kUtc: return kIdcUtc;
    case ReadoutField::kDirection: return kIdcDirection;
    case ReadoutField::kSpeed: return kIdcSpeed;
    case ReadoutField::kStatus: return kIdcFixStatus;
    case ReadoutField::kHdop: return kIdcHdop;
    case ReadoutField::kPdop: return kIdcPdop;
    case ReadoutField::kNorthSouth: return kIdcLatHemisphere;
    case ReadoutField::kLatitude: return kIdcLat;
    case ReadoutField::kEastWest: return kIdcLonHemisphere;
    case ReadoutField::kLongitude: return kIdcLon;
  }
  return 0;
}

// The handheld information page: sets a text into one of its controls.
template <class Ch>
class ReadoutControls {
 public:
  virtual void SetControlText(int controlId, const Ch* text) = 0;

 protected:
  ~ReadoutControls() = default;
};

}  // namespace trelvane::nmea
