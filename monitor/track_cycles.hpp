// The receiver's track, one point per fix cycle, as a recording holds it.
// The sentences of one cycle share the receiver's UTC time: the GGA, RMC and
// GLL of that time make one point (the position from the GGA, else the RMC,
// else the GLL), and a GSA (which has no time) goes to the cycle open when it
// comes. A cycle with no position is a lost fix, and the
// next point starts a new segment, as does one more than 5 s of receiver time
// after the last.
//
// A receiver dates its cycles in the RMC only, and many send a cycle's GGA
// before its RMC, so the cycles before the first date are held (up to
// kHeldCycles) and given that date once it comes; a cycle whose time of day
// is after the dating one's is of the day before. Without an RMC at all the
// held cycles go out undated once the hold is full. Between RMCs a time of
// day more than 12 hours before the last one is the next day.
//
// Nothing is allocated: the reader keeps one open cycle and the hold.
#pragma once

#include <cstdint>

#include "nmea/decode_fix.hpp"
#include "nmea/decode_gnss.hpp"
#include "nmea/gnss_numbering.hpp"
#include "nmea/sentence_intake.hpp"

namespace trelvane::monitor {

constexpr int kHeldCycles = 32;
constexpr double kTrackGapSeconds = 5.0;
constexpr std::int64_t kNoDay = INT64_MIN;

// One point of the track, with only what the receiver gave present.
struct TrackPoint {
  double latitude = 0;   // degrees, negative south
  double longitude = 0;  // degrees, negative west
  nmea::Reading altitude, geoid, hdop, vdop, pdop, dgpsAge, speedKnots, course;
  int quality = -1;     // the GGA's fix quality; -1 without a GGA
  int gsaMode = -1;     // 2 for 2D, 3 for 3D; -1 without a GSA
  int satellites = -1;  // used, from the GGA
  int station = -1;     // the differential station, 0-1023
  bool timed = false;   // the cycle had a time of day
  double second = 0;    // the UTC second of the day
  int fractionDigits = 0;   // as many as the receiver sent, at most 3
  std::int64_t day = kNoDay;  // days since 1970-01-01; kNoDay when undated
  bool startsSegment = false;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
constexpr std::int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}
inline void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int dayOfEra = static_cast<int>(days - era * 146097);
  const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int shifted = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  month = shifted + (shifted < 10 ? 3 : -9);
  year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

// The sink takes OnPoint(const TrackPoint&), in the order of the cycles.
template <class Sink>
class TrackCycles {
 public:
  explicit TrackCycles(Sink& sink) : sink_(sink) {}

  // One line as received, CR LF kept; a line that fails its checksum, or is
  // no GGA, RMC or GSA, changes nothing.
  void Line(const char* line, int length) {
    if (length < 11 || line[0] != '$' || nmea::FindTalker(line + 1) < 0) return;
    if (!nmea::ChecksumPasses(line, length)) return;
    const char* type = line + 3;
    if (nmea::TextStartsWith(type, "GGA,")) {
      nmea::GgaFix gga;
      if (!nmea::IndexFields(line, fields_) || !nmea::DecodeGga(fields_, gga)) return;
      Cycle& cycle = Open(gga.time, line);
      cycle.gga = true;
      cycle.ggaFix = gga;
      cycle.station = nmea::WholeField(fields_, 14, 1023);
    } else if (nmea::TextStartsWith(type, "RMC,")) {
      nmea::RmcFix rmc;
      if (!nmea::IndexFields(line, fields_) || !nmea::DecodeRmcFix(fields_, rmc)) return;
      Cycle& cycle = Open(rmc.time, line);
      cycle.rmc = true;
      cycle.rmcFix = rmc;
    } else if (nmea::TextStartsWith(type, "GLL,")) {
      // GLL: latitude, its hemisphere, longitude, its hemisphere, time, status.
      if (!nmea::IndexFields(line, fields_) || fields_.count < 7) return;
      const nmea::Reading time = nmea::TimeField(fields_, 5);
      Cycle& cycle = Open(time, line);
      cycle.gll = true;
      cycle.gllValid = *nmea::FieldStart(fields_, 6) == 'A';
      cycle.gllLatitude = nmea::CoordinateField(fields_, 1, 'N', 'S', 90);
      cycle.gllLongitude = nmea::CoordinateField(fields_, 3, 'E', 'W', 180);
    } else if (nmea::TextStartsWith(type, "GSA,")) {
      nmea::GsaFix gsa;
      if (!nmea::IndexFields(line, fields_) || !nmea::DecodeGsaFix(fields_, gsa)) return;
      // Several systems' GSAs share a cycle; they agree on the fix and its
      // dilutions, so the first stands.
      if (!open_ || open_->gsa) return;
      open_->gsa = true;
      open_->gsaFix = gsa;
    }
  }

  // The recording ended: the open cycle and any held ones go out.
  void Finish() {
    Close();
    Release(kNoDay, 0);
  }

 private:
  struct Cycle {
    bool gga = false, rmc = false, gsa = false, gll = false, gllValid = false;
    nmea::Reading gllLatitude, gllLongitude;
    nmea::GgaFix ggaFix;
    nmea::RmcFix rmcFix;
    nmea::GsaFix gsaFix;
    int station = -1;
    nmea::Reading time;
    int fractionDigits = 0;
  };

  // The cycle of `time`: the open one when it has that time, else a new one
  // after the open one is closed. An untimed sentence is a cycle of its own.
  Cycle& Open(const nmea::Reading& time, const char* line) {
    const bool same = open_ && time.present && open_->time.present && open_->time.value == time.value;
    if (!same) {
      Close();
      cycle_ = Cycle();
      cycle_.time = time;
      if (time.present) cycle_.fractionDigits = FractionDigits(line);
      open_ = &cycle_;
    }
    return cycle_;
  }

  // How many digits the receiver sent after the second's point, in a time
  // field (field 1) read as hhmmss[.s...].
  static int FractionDigits(const char* line) {
    const char* p = line;
    while (*p != ',') ++p;
    p += 7;  // ",hhmmss"
    if (*p != '.') return 0;
    int digits = 0;
    for (++p; *p >= '0' && *p <= '9'; ++p) ++digits;
    return digits < 3 ? digits : 3;
  }

  void Close() {
    if (!open_) return;
    open_ = nullptr;
    const Cycle& c = cycle_;
    TrackPoint point;
    const bool ggaFix = c.gga && c.ggaFix.quality >= 1 && c.ggaFix.latitude.present && c.ggaFix.longitude.present;
    const bool rmcFix = c.rmc && c.rmcFix.valid && c.rmcFix.latitude.present && c.rmcFix.longitude.present;
    const bool gllFix = c.gll && c.gllValid && c.gllLatitude.present && c.gllLongitude.present;
    if (!ggaFix && !rmcFix && !gllFix) {
      lost_ = true;
      return;
    }
    point.latitude = ggaFix ? c.ggaFix.latitude.value : rmcFix ? c.rmcFix.latitude.value : c.gllLatitude.value;
    point.longitude = ggaFix ? c.ggaFix.longitude.value : rmcFix ? c.rmcFix.longitude.value : c.gllLongitude.value;
    if (c.gga) {
      point.altitude = c.ggaFix.altitude;
      point.geoid = c.ggaFix.geoidSeparation;
      point.hdop = c.ggaFix.hdop;
      point.dgpsAge = c.ggaFix.differentialAge;
      point.quality = c.ggaFix.quality;
      point.satellites = c.ggaFix.satellites;
      point.station = c.station;
    }
    if (c.gsa) {
      if (c.gsaFix.mode == 2 || c.gsaFix.mode == 3) point.gsaMode = c.gsaFix.mode;
      if (!point.hdop.present) point.hdop = c.gsaFix.hdop;
      point.vdop = c.gsaFix.vdop;
      point.pdop = c.gsaFix.pdop;
    }
    if (c.rmc) {
      point.speedKnots = c.rmcFix.speed;
      point.course = c.rmcFix.course;
    }
    point.timed = c.time.present;
    point.second = c.time.value;
    point.fractionDigits = c.fractionDigits;
    point.startsSegment = lost_;
    lost_ = false;

    const bool dates = c.rmc && c.rmcFix.date.present;
    const std::int64_t date = dates ? DateDays(c.rmcFix.date.value) : kNoDay;
    if (day_ == kNoDay && date == kNoDay && !gaveUp_) {
      held_[heldCount_++] = point;
      if (heldCount_ == kHeldCycles) {
        gaveUp_ = true;
        Release(kNoDay, 0);
      }
      return;
    }
    if (heldCount_ > 0) Release(date, point.second);
    Dated(point, date);
    Emit(point);
  }

  static std::int64_t DateDays(double yyyymmdd) {
    const int value = static_cast<int>(yyyymmdd);
    return DaysFromCivil(value / 10000, value / 100 % 100, value % 100);
  }

  // Sends the held cycles out, dated from `date` (given at `second`) when
  // there is one.
  void Release(std::int64_t date, double second) {
    for (int i = 0; i < heldCount_; ++i) {
      TrackPoint& point = held_[i];
      if (date != kNoDay && point.timed) point.day = point.second > second ? date - 1 : date;
      Emit(point);
    }
    heldCount_ = 0;
  }

  // Gives `point` its day: the RMC's own, or the last one, moved on a day when
  // the time of day fell back by more than half a day.
  void Dated(TrackPoint& point, std::int64_t date) {
    if (!point.timed) return;
    if (date != kNoDay) {
      day_ = date;
    } else if (day_ != kNoDay && point.second < lastSecond_ - 43200) {
      ++day_;
    }
    point.day = day_;
    lastSecond_ = point.second;
  }

  void Emit(TrackPoint& point) {
    if (point.timed) {
      const double at = point.day == kNoDay ? point.second : static_cast<double>(point.day) * 86400.0 + point.second;
      const double gap = at - lastAt_;
      if (emitted_ && lastTimed_ && (gap > kTrackGapSeconds || gap < -kTrackGapSeconds)) point.startsSegment = true;
      lastAt_ = at;
    }
    if (!emitted_) point.startsSegment = true;
    emitted_ = true;
    lastTimed_ = point.timed;
    sink_.OnPoint(point);
  }

  Sink& sink_;
  nmea::SentenceFields<char> fields_;
  Cycle cycle_;
  Cycle* open_ = nullptr;
  bool lost_ = false;
  TrackPoint held_[kHeldCycles];
  int heldCount_ = 0;
  bool gaveUp_ = false;
  std::int64_t day_ = kNoDay;
  double lastSecond_ = 0;
  double lastAt_ = 0;
  bool lastTimed_ = false;
  bool emitted_ = false;
};

}  // namespace trelvane::monitor
