// Sharing the receiver: what the desktop monitor serves over TCP of what its
// receiver says, apart from the sockets. Each accepted sentence goes out as
// it came in (for NMEA clients), and each finished fix cycle goes out as a
// pair of gpsd's JSON reports, TPV then SKY, so that gpsd's own clients and
// gpsd itself can use the receiver the monitor has open.
//
// A fix cycle runs from a time of day in an RMC or GGA to the next different
// one: the sentences in between (GSA, GST, the other of RMC and GGA) belong
// to it. The cycle is reported when a sentence with a new time of day comes
// in, before that sentence goes out, and when the link closes. A receiver
// that sends no time at all starts a cycle at an RMC or GGA of a kind the
// cycle already has.
//
// The objects follow gpsd_json(5), with the values the receiver sent and
// nothing made up; where gpsd works a value out of others, it is worked out
// as gpsd's own reports of the bundled captures show it (data/captures/multi/
// *.chk):
//   - mode: the GSA's fix type; without a GSA, 1 for GGA quality 0 or an RMC
//     whose status is not "A", else 3 with a GGA altitude and 2 without.
//   - status: from GGA's quality (2 DGPS, 3 P(Y), 4 RTK fixed, 5 RTK float,
//     6 dead reckoning, 7 surveyed, 8 simulated); left out for a plain fix,
//     as gpsd leaves it out.
//   - epx, epy, epv: GST's longitude, latitude and altitude errors; eph, and
//     epv without a GST, are HDOP and VDOP times gpsd's user range errors:
//     19 m and 23 m, or 4.75 m and 5.75 m for a differential fix.
//   - speed in m/s from RMC's knots, track from RMC's course, time from
//     RMC's date and the cycle's time of day (without a date of this cycle,
//     the last date is taken while no midnight can have passed since).
// Number formats are gpsd's: 9 decimals for latitude and longitude, 4 for
// altitudes and track, 3 for speed and the errors, 2 for DOPs, 1 for a
// satellite's elevation, azimuth and SNR.
//
// SKY lists each satellite of the all-systems view once, with gpsd's gnssid
// and PRN (GnssId): where a receiver reports several signals of a satellite,
// gpsd lists each signal, the view one satellite with the strongest.
//
// Fixed buffers only: the per-sentence path allocates nothing.
#pragma once

#include <cmath>

#include "monitor/json_text.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/decode_fix.hpp"
#include "nmea/gnss_view.hpp"
#include "nmea/sentence_intake.hpp"

namespace trelvane::monitor {

// The longest SKY: the view's 96 satellites of at most 77 characters each,
// and its head with the longest device name escaped.
constexpr int kShareObjectChars = 10240;
constexpr int kShareDeviceChars = 64;  // a device name is cut to 63 characters

// Implemented by the server; called on the window's thread.
class ShareSink {
 public:
  // An accepted sentence exactly as received, CR LF included.
  virtual void Sentence(const char* line, int length) = 0;
  // One whole JSON object followed by "\r\n" (TPV or SKY).
  virtual void Report(const char* object, int length) = 0;

 protected:
  ~ShareSink() = default;
};

// A satellite as gpsd numbers it: its system (gnssid), its number within the
// system (svid) and its PRN. gnssid: 0 GPS, 1 SBAS, 2 Galileo, 3 BeiDou,
// 5 QZSS, 6 GLONASS, 7 NavIC. PRN: GPS as its number, SBAS 120-151 as 33-64,
// GLONASS 65-96, QZSS 193-202, Galileo 301-336, BeiDou 401-463; SBAS past 151
// keeps its number. NavIC is given 801-814, which no bundled report confirms.
struct GpsdSatelliteId {
  int gnssid;
  int svid;
  int prn;
};

inline GpsdSatelliteId GnssId(nmea::GnssSystem system, int number) {
  switch (system) {
    case nmea::GnssSystem::kGps: return {0, number, number};
    case nmea::GnssSystem::kSbas: return {1, number, number >= 120 && number <= 151 ? number - 87 : number};
    case nmea::GnssSystem::kGalileo: return {2, number, 300 + number};
    case nmea::GnssSystem::kBeidou: return {3, number, 400 + number};
    case nmea::GnssSystem::kQzss: return {5, number, 192 + number};
    case nmea::GnssSystem::kGlonass: return {6, number, 64 + number};
    case nmea::GnssSystem::kNavic: return {7, number, 800 + number};
  }
  return {0, number, number};
}

// gpsd's fix status for a GGA quality (0 to 8); 1 for a plain fix.
inline int GpsdStatus(int quality) {
  static const int kStatus[9] = {0, 1, 2, 9, 3, 4, 5, 7, 8};
  return quality >= 0 && quality <= 8 ? kStatus[quality] : 0;
}

// gpsd's user range errors in metres, which its eph and epv scale the DOPs by.
constexpr double kHorizontalUere = 19.0, kVerticalUere = 23.0;
constexpr double kDifferentialHorizontalUere = 4.75, kDifferentialVerticalUere = 5.75;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

class ShareFeed {
 public:
  using Intake = nmea::SentenceIntake<nmea::DesktopBuild>;

  explicit ShareFeed(ShareSink& sink) : sink_(sink) {}
  ShareFeed(const ShareFeed&) = delete;
  ShareFeed& operator=(const ShareFeed&) = delete;

  // "COM3": a new receiver. The cycle and the last date are forgotten.
  void LinkOpened(const char* device) {
    int n = 0;
    for (; device != nullptr && n < kShareDeviceChars - 1 && device[n] != 0; ++n) device_[n] = device[n];
    device_[n] = 0;
    cycle_ = Cycle();
    date_ = nmea::Reading();
    intake_ = nullptr;
  }

  // Each accepted line, after `intake` took it. LinkClosed reports the view
  // of the intake last given here, so it must still be alive then, its view
  // not yet reset for another link (the session's own intake, before the
  // session's LinkOpened).
  void Accepted(const char* line, int length, const Intake& intake) {
    intake_ = &intake;
    const nmea::FixSentence fix = intake.lastFix();
    if (fix == nmea::FixSentence::kRmc || fix == nmea::FixSentence::kGga) {
      const nmea::Reading& time = fix == nmea::FixSentence::kRmc ? intake.rmcFix().time : intake.gga().time;
      if (EndsCycle(fix, time)) {
        Report(intake.gnss());
        cycle_ = Cycle();
      }
    }
    sink_.Sentence(line, length);
    Take(intake);
  }

  // The link closed: a cycle still pending is reported.
  void LinkClosed() {
    if (intake_ != nullptr) Report(intake_->gnss());
    cycle_ = Cycle();
    intake_ = nullptr;
  }

 private:
  // What one fix cycle gave, each the last of its kind.
  struct Cycle {
    nmea::Reading time;  // the cycle's time of day
    bool hasRmc = false, hasGga = false, hasGst = false, hasGsa = false;
    nmea::RmcFix rmc;
    nmea::GgaFix gga;
    nmea::GstReport gst;
    nmea::GsaFix gsa;
  };

  bool EndsCycle(nmea::FixSentence fix, const nmea::Reading& time) const {
    if (!cycle_.hasRmc && !cycle_.hasGga) return false;  // no fix yet to report
    if (time.present && cycle_.time.present) return std::fabs(time.value - cycle_.time.value) > 0.0005;
    return fix == nmea::FixSentence::kRmc ? cycle_.hasRmc : cycle_.hasGga;
  }

  void Take(const Intake& intake) {
    switch (intake.lastFix()) {
      case nmea::FixSentence::kRmc:
        cycle_.rmc = intake.rmcFix();
        cycle_.hasRmc = true;
        TakeTime(cycle_.rmc.time);
        if (cycle_.rmc.date.present && cycle_.rmc.time.present) {
          date_ = cycle_.rmc.date;
          dateTime_ = cycle_.rmc.time.value;
        }
        break;
      case nmea::FixSentence::kGga:
        cycle_.gga = intake.gga();
        cycle_.hasGga = true;
        TakeTime(cycle_.gga.time);
        break;
      case nmea::FixSentence::kGst:
        cycle_.gst = intake.gst();
        cycle_.hasGst = true;
        break;
      case nmea::FixSentence::kNone:
        break;
    }
    if (intake.gsaRead()) {
      cycle_.gsa = intake.gsa();
      cycle_.hasGsa = true;
    }
  }

  void TakeTime(const nmea::Reading& time) {
    if (!cycle_.time.present) cycle_.time = time;
  }

  void Report(const nmea::GnssView& view) {
    if (!cycle_.hasRmc && !cycle_.hasGga) return;
    int length = FormatTpv();
    if (length != 0) sink_.Report(object_, length);
    length = FormatSky(view);
    if (length != 0) sink_.Report(object_, length);
  }

  // 0 none seen, 1 no fix, 2 2D, 3 3D.
  int Mode() const {
    if (cycle_.hasGsa && cycle_.gsa.mode >= 1) return cycle_.gsa.mode;
    if (cycle_.hasGga && cycle_.gga.quality >= 0) {
      if (cycle_.gga.quality == 0) return 1;
      return cycle_.gga.altitude.present ? 3 : 2;
    }
    if (cycle_.hasRmc) return cycle_.rmc.valid ? 2 : 1;
    return 0;
  }

  bool Differential() const {
    const int quality = cycle_.hasGga ? cycle_.gga.quality : -1;
    return quality == 2 || quality == 4 || quality == 5;
  }

  // The DOPs: the GSA's, or GGA's HDOP without one.
  nmea::Reading Hdop() const {
    if (cycle_.hasGsa && cycle_.gsa.hdop.present) return cycle_.gsa.hdop;
    return cycle_.hasGga ? cycle_.gga.hdop : nmea::Reading();
  }

  // A key and its value, when the value was sent and fits its format.
  static void Number(JsonText& json, const char* key, const nmea::Reading& reading, int decimals, double factor = 1) {
    if (!reading.present || !JsonText::Fits(reading.value * factor, decimals)) return;
    json.Key(key);
    json.Fixed(reading.value * factor, decimals);
  }

  int FormatTpv() {
    JsonText json(object_, kShareObjectChars);
    json.Raw("{\"class\":\"TPV\",\"device\":");
    json.String(device_, kShareDeviceChars);
    const int mode = Mode();
    if (cycle_.hasGga && cycle_.gga.quality >= 2 && cycle_.gga.quality <= 8) {
      json.Key("status");
      json.Int(GpsdStatus(cycle_.gga.quality));
    }
    json.Key("mode");
    json.Int(mode);
    WriteTime(json);
    if (mode >= 2) {
      const bool gga = cycle_.hasGga && cycle_.gga.latitude.present && cycle_.gga.longitude.present;
      const nmea::Reading& latitude = gga ? cycle_.gga.latitude : cycle_.rmc.latitude;
      const nmea::Reading& longitude = gga ? cycle_.gga.longitude : cycle_.rmc.longitude;
      if (latitude.present && longitude.present) {
        Number(json, "lat", latitude, 9);
        Number(json, "lon", longitude, 9);
      }
    }
    if (mode == 3 && cycle_.hasGga) {
      const nmea::GgaFix& gga = cycle_.gga;
      if (gga.altitude.present && gga.geoidSeparation.present) {
        Number(json, "altHAE", nmea::Reading{gga.altitude.value + gga.geoidSeparation.value, true}, 4);
      }
      Number(json, "altMSL", gga.altitude, 4);
      Number(json, "alt", gga.altitude, 4);
      Number(json, "geoidSep", gga.geoidSeparation, 3);
    }
    if (mode >= 2) WriteErrors(json, mode);
    if (mode >= 2 && cycle_.hasRmc) {
      Number(json, "track", cycle_.rmc.course, 4);
      Number(json, "speed", cycle_.rmc.speed, 3, kMetresPerSecondPerKnot);
    }
    json.Raw("}\r\n");
    return json.Finish();
  }

  void WriteErrors(JsonText& json, int mode) {
    const bool differential = Differential();
    Number(json, "eph", Hdop(), 3, differential ? kDifferentialHorizontalUere : kHorizontalUere);
    if (cycle_.hasGst) {
      Number(json, "epx", cycle_.gst.longitudeSigma, 3);
      Number(json, "epy", cycle_.gst.latitudeSigma, 3);
    }
    if (mode != 3) return;
    if (cycle_.hasGst && cycle_.gst.altitudeSigma.present) {
      Number(json, "epv", cycle_.gst.altitudeSigma, 3);
    } else if (cycle_.hasGsa) {
      Number(json, "epv", cycle_.gsa.vdop, 3, differential ? kDifferentialVerticalUere : kVerticalUere);
    }
  }

  // "2019-04-12T00:39:56.000Z": the cycle's time of day on this cycle's date,
  // or on the last date while the day cannot have turned since.
  void WriteTime(JsonText& json) const {
    if (!cycle_.time.present) return;
    nmea::Reading date = cycle_.hasRmc ? cycle_.rmc.date : nmea::Reading();
    if (!date.present && date_.present && cycle_.time.value >= dateTime_) date = date_;
    if (!date.present) return;
    long long ms = std::llround(cycle_.time.value * 1000);
    int second = 0;
    if (ms >= 86400000) {  // a leap second: 23:59:60
      second = 60;
      ms = 86399000 + (ms - 86400000 < 999 ? ms - 86400000 : 999);
    } else {
      second = static_cast<int>(ms / 1000 % 60);
    }
    const long long day = std::llround(date.value);
    json.Key("time");
    json.Raw("\"");
    Digits(json, day / 10000, 4);
    json.Raw("-");
    Digits(json, day / 100 % 100, 2);
    json.Raw("-");
    Digits(json, day % 100, 2);
    json.Raw("T");
    Digits(json, ms / 3600000, 2);
    json.Raw(":");
    Digits(json, ms / 60000 % 60, 2);
    json.Raw(":");
    Digits(json, second, 2);
    json.Raw(".");
    Digits(json, ms % 1000, 3);
    json.Raw("Z\"");
  }

  static void Digits(JsonText& json, long long value, int width) {
    char digits[8];
    for (int k = width - 1; k >= 0; --k) {
      digits[k] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    json.Raw(digits, width);
  }

  int FormatSky(const nmea::GnssView& view) {
    JsonText json(object_, kShareObjectChars);
    json.Raw("{\"class\":\"SKY\",\"device\":");
    json.String(device_, kShareDeviceChars);
    Number(json, "hdop", Hdop(), 2);
    if (cycle_.hasGsa) {
      Number(json, "pdop", cycle_.gsa.pdop, 2);
      Number(json, "vdop", cycle_.gsa.vdop, 2);
    }
    int used = 0;
    for (int i = 0; i < view.Count(); ++i) used += view.At(i).used ? 1 : 0;
    if (view.Count() > 0) {
      json.Key("nSat");
      json.Int(view.Count());
    }
    // Without a GSA the view marks nothing used: GGA's count says how many are.
    if (view.Count() > 0 && cycle_.hasGsa) {
      json.Key("uSat");
      json.Int(used);
    } else if (cycle_.hasGga && cycle_.gga.satellites >= 0) {
      json.Key("uSat");
      json.Int(cycle_.gga.satellites);
    }
    if (view.Count() > 0) {
      json.Key("satellites");
      json.Raw("[");
      for (int i = 0; i < view.Count(); ++i) WriteSatellite(json, view.At(i));
      json.Raw("]");
    }
    json.Raw("}\r\n");
    return json.Finish();
  }

  static void WriteSatellite(JsonText& json, const nmea::GnssSatellite& satellite) {
    const GpsdSatelliteId id = GnssId(satellite.system, satellite.number);
    json.Separate();
    json.Raw("{");
    json.Key("PRN");
    json.Int(id.prn);
    const struct {
      const char* key;
      int value;
    } measured[] = {{"el", satellite.elevation}, {"az", satellite.azimuth}, {"ss", satellite.snr}};
    for (const auto& m : measured) {
      if (m.value == nmea::kGnssNone) continue;
      json.Key(m.key);
      json.Fixed(m.value, 1);
    }
    json.Key("used");
    json.Bool(satellite.used);
    json.Key("gnssid");
    json.Int(id.gnssid);
    json.Key("svid");
    json.Int(id.svid);
    json.Raw("}");
  }

  ShareSink& sink_;
  char device_[kShareDeviceChars] = {};
  Cycle cycle_;
  nmea::Reading date_;     // the last RMC date that came with a time
  double dateTime_ = 0;    // that RMC's time of day
  const Intake* intake_ = nullptr;
  char object_[kShareObjectChars];
};

}  // namespace trelvane::monitor
