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

GpsdSatelliteId GnssId(nmea::GnssSystem system, int number);

// gpsd's fix status for a GGA quality (0 to 8); 1 for a plain fix.
int GpsdStatus(int quality);

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
  void LinkOpened(const char* device);

  // Each accepted line, after `intake` took it. LinkClosed reports the view
  // of the intake last given here, so it must still be alive then, its view
  // not yet reset for another link (the session's own intake, before the
  // session's LinkOpened).
  void Accepted(const char* line, int length, const Intake& intake);

  // The link closed: a cycle still pending is reported.
  void LinkClosed();

  // A file was sought: the cycle in hand and the last date are of the old
  // place, so they are dropped unreported; the first report after the seek
  // pairs a position and a sky from the new place.
  void Sought();

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

  bool EndsCycle(nmea::FixSentence fix, const nmea::Reading& time) const;

  void Take(const Intake& intake);

  void TakeTime(const nmea::Reading& time);

  void Report(const nmea::GnssView& view);

  // 0 none seen, 1 no fix, 2 2D, 3 3D.
  int Mode() const;

  bool Differential() const;

  // The DOPs: the GSA's, or GGA's HDOP without one.
  nmea::Reading Hdop() const;

  // A key and its value, when the value was sent and fits its format.
  static void Number(JsonText& json, const char* key, const nmea::Reading& reading, int decimals, double factor = 1);

  int FormatTpv();

  void WriteErrors(JsonText& json, int mode);

  // "2019-04-12T00:39:56.000Z": the cycle's time of day on this cycle's date,
  // or on the last date while the day cannot have turned since.
  void WriteTime(JsonText& json) const;

  static void Digits(JsonText& json, long long value, int width);

  int FormatSky(const nmea::GnssView& view);

  static void WriteSatellite(JsonText& json, const nmea::GnssSatellite& satellite);

  ShareSink& sink_;
  char device_[kShareDeviceChars] = {};
  Cycle cycle_;
  nmea::Reading date_;     // the last RMC date that came with a time
  double dateTime_ = 0;    // that RMC's time of day
  const Intake* intake_ = nullptr;
  char object_[kShareObjectChars];
};

}  // namespace trelvane::monitor
