// The track written out for other tools: GPX 1.1 (maps and GPS tools), KML
// 2.2 (globe viewers) and CSV (spreadsheets), from the points TrackCycles
// makes. Every value is the receiver's own: nothing it did not give is
// written, and nothing depends on when the export ran, so one recording
// always gives the same bytes.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "monitor/track_cycles.hpp"

namespace trelvane::monitor {

enum class TrackFormat { kGpx, kKml, kCsv };

// The bytes on their way to `Out` (bool Write(const char*, std::size_t)),
// in slices of 64 KiB. The first failed write fails the rest.
template <class Out>
class TrackText {
 public:
  explicit TrackText(Out& out) : out_(out) {}

  void Append(const char* text) { Append(text, std::strlen(text)); }
  void Append(const char* text, std::size_t count) {
    while (count > 0) {
      if (used_ == sizeof buffer_) Flush();
      std::size_t room = sizeof buffer_ - used_;
      const std::size_t take = count < room ? count : room;
      std::memcpy(buffer_ + used_, text, take);
      used_ += take;
      text += take;
      count -= take;
    }
  }
  // printf-style, one value at a time; bounded.
  template <class... Args>
  void Format(const char* format, Args... args) {
    char text[128];
    const int n = std::snprintf(text, sizeof text, format, args...);
    if (n > 0) Append(text, static_cast<std::size_t>(n) < sizeof text ? static_cast<std::size_t>(n) : sizeof text - 1);
  }
  // A decimal with at most `decimals` places and no trailing zeros: what the
  // receiver sent, as near as a double holds it ("83.1", never "8.31e1").
  void Decimal(double value, int decimals) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    if (n <= 0 || n >= static_cast<int>(sizeof text)) return;
    if (std::strchr(text, '.') != nullptr) {
      while (text[n - 1] == '0') --n;
      if (text[n - 1] == '.') --n;
    }
    text[n] = 0;
    Append(std::strcmp(text, "-0") == 0 ? "0" : text);
  }
  // Text in XML: the five characters with a meaning there escaped.
  void Xml(const char* text) {
    for (; *text != 0; ++text) {
      switch (*text) {
        case '&': Append("&amp;"); break;
        case '<': Append("&lt;"); break;
        case '>': Append("&gt;"); break;
        case '"': Append("&quot;"); break;
        case '\'': Append("&apos;"); break;
        default: Append(text, 1);
      }
    }
  }
  // yyyy-mm-ddThh:mm:ss[.f]Z from a dated point.
  void Time(const TrackPoint& point) {
    int scale = 1;
    for (int i = 0; i < point.fractionDigits; ++i) scale *= 10;
    const long long total = std::llround(point.second * scale);
    const long long whole = total / scale;
    std::int64_t day = point.day + whole / 86400;  // a second rounded up to midnight
    const long long second = whole % 86400;
    int year, month, date;
    CivilFromDays(day, year, month, date);
    Format("%04d-%02d-%02dT%02lld:%02lld:%02lld", year, month, date, second / 3600, second / 60 % 60, second % 60);
    if (point.fractionDigits > 0) Format(".%0*lld", point.fractionDigits, total % scale);
    Append("Z");
  }

  // Everything written reaches `Out`; false once a write failed.
  bool Flush() {
    if (used_ > 0 && ok_) ok_ = out_.Write(buffer_, used_);
    used_ = 0;
    return ok_;
  }
  bool Ok() const { return ok_; }

 private:
  Out& out_;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
  bool ok_ = true;
};

// GPX's <fix>, or null: the GGA's differential and PPS qualities first,
// then the GSA's dimension.
inline const char* GpxFix(const TrackPoint& point) {
  if (point.quality == 2 || point.quality == 4 || point.quality == 5) return "dgps";
  if (point.quality == 3) return "pps";
  if (point.gsaMode == 2) return "2d";
  if (point.gsaMode == 3) return "3d";
  return nullptr;
}

inline bool Dated(const TrackPoint& point) { return point.timed && point.day != kNoDay; }

// One of the three formats, written as the points come: Begin, then each
// point, then End.
template <class Out>
class TrackWriter {
 public:
  TrackWriter(TrackFormat format, const char* name, Out& out) : format_(format), name_(name), text_(out) {}

  void OnPoint(const TrackPoint& point) {
    switch (format_) {
      case TrackFormat::kGpx: GpxPoint(point); break;
      case TrackFormat::kKml: KmlPoint(point); break;
      case TrackFormat::kCsv: CsvPoint(point); break;
    }
    last_ = point;
    ++points_;
  }

  // The end of the file; false when a write failed.
  bool End() {
    switch (format_) {
      case TrackFormat::kGpx:
        if (points_ == 0) GpxHead(nullptr);
        text_.Append(points_ > 0 ? "    </trkseg>\n  </trk>\n</gpx>\n" : "  </trk>\n</gpx>\n");
        break;
      case TrackFormat::kKml:
        if (points_ == 0) KmlHead();
        if (points_ > 0) {
          text_.Append("</coordinates></LineString></Placemark>\n");
          KmlMark("End", last_);
        }
        text_.Append("</Document>\n</kml>\n");
        break;
      case TrackFormat::kCsv:
        if (points_ == 0) CsvHead();
        break;
    }
    return text_.Flush();
  }

  long long Points() const { return points_; }

 private:
  // The head waits for the first point: its time is the file's.
  void GpxHead(const TrackPoint* first) {
    text_.Append(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Trelvane\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n");
    if (first != nullptr && Dated(*first)) {
      text_.Append("  <metadata><time>");
      text_.Time(*first);
      text_.Append("</time></metadata>\n");
    }
    text_.Append("  <trk>\n    <name>");
    text_.Xml(name_);
    text_.Append("</name>\n");
  }

  void GpxPoint(const TrackPoint& p) {
    if (points_ == 0) GpxHead(&p);
    if (p.startsSegment) text_.Append(points_ > 0 ? "    </trkseg>\n    <trkseg>\n" : "    <trkseg>\n");
    text_.Format("      <trkpt lat=\"%.9f\" lon=\"%.9f\">\n", p.latitude, p.longitude);
    GpxDecimal("ele", p.altitude, 4);
    if (Dated(p)) {
      text_.Append("        <time>");
      text_.Time(p);
      text_.Append("</time>\n");
    }
    GpxDecimal("geoidheight", p.geoid, 4);
    if (const char* fix = GpxFix(p)) text_.Format("        <fix>%s</fix>\n", fix);
    if (p.satellites >= 0) text_.Format("        <sat>%d</sat>\n", p.satellites);
    GpxDecimal("hdop", p.hdop, 3);
    GpxDecimal("vdop", p.vdop, 3);
    GpxDecimal("pdop", p.pdop, 3);
    GpxDecimal("ageofdgpsdata", p.dgpsAge, 3);
    if (p.station >= 0) text_.Format("        <dgpsid>%d</dgpsid>\n", p.station);
    text_.Append("      </trkpt>\n");
  }
  void GpxDecimal(const char* element, const nmea::Reading& reading, int decimals) {
    if (!reading.present) return;
    text_.Format("        <%s>", element);
    text_.Decimal(reading.value, decimals);
    text_.Format("</%s>\n", element);
  }

  void KmlHead() {
    text_.Append(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>");
    text_.Xml(name_);
    text_.Append("</name>\n");
  }
  void KmlCoordinates(const TrackPoint& p) {
    text_.Format("%.9f,%.9f", p.longitude, p.latitude);
    if (p.altitude.present) {
      text_.Append(",");
      text_.Decimal(p.altitude.value, 4);
    }
  }
  void KmlMark(const char* name, const TrackPoint& p) {
    text_.Format("<Placemark><name>%s</name><Point><altitudeMode>absolute</altitudeMode><coordinates>", name);
    KmlCoordinates(p);
    text_.Append("</coordinates></Point></Placemark>\n");
  }
  void KmlPoint(const TrackPoint& p) {
    if (points_ == 0) {
      KmlHead();
      KmlMark("Start", p);
    }
    if (p.startsSegment) {
      if (points_ > 0) text_.Append("</coordinates></LineString></Placemark>\n");
      ++segments_;
      text_.Format(
          "<Placemark><name>Segment %lld</name><LineString><altitudeMode>absolute</altitudeMode><coordinates>\n",
          segments_);
    }
    KmlCoordinates(p);
    text_.Append("\n");
  }

  void CsvHead() {
    text_.Append("utc,lat,lon,alt_m,geoid_m,quality,fix,sats,hdop,vdop,pdop,speed_mps,course_deg,age_s,station\r\n");
  }
  void CsvDecimal(const nmea::Reading& reading, int decimals) {
    text_.Append(",");
    if (reading.present) text_.Decimal(reading.value, decimals);
  }
  void CsvWhole(int value) {
    text_.Append(",");
    if (value >= 0) text_.Format("%d", value);
  }
  void CsvPoint(const TrackPoint& p) {
    if (points_ == 0) CsvHead();
    if (Dated(p)) text_.Time(p);
    text_.Format(",%.9f,%.9f", p.latitude, p.longitude);
    CsvDecimal(p.altitude, 4);
    CsvDecimal(p.geoid, 4);
    CsvWhole(p.quality);
    text_.Append(",");
    if (const char* fix = GpxFix(p)) text_.Append(fix);
    CsvWhole(p.satellites);
    CsvDecimal(p.hdop, 3);
    CsvDecimal(p.vdop, 3);
    CsvDecimal(p.pdop, 3);
    nmea::Reading speed = p.speedKnots;
    speed.value *= 1852.0 / 3600.0;  // knots to metres a second
    CsvDecimal(speed, 3);
    CsvDecimal(p.course, 3);
    CsvDecimal(p.dgpsAge, 3);
    CsvWhole(p.station);
    text_.Append("\r\n");
  }

  TrackFormat format_;
  const char* name_;
  TrackText<Out> text_;
  TrackPoint last_;
  long long points_ = 0;
  long long segments_ = 0;
};

}  // namespace trelvane::monitor
