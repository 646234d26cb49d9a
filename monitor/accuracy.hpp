// How good is the receiver: the fixes it gave while it stood still, and the
// figures that say how they scatter about their centre.
//
// A fix is an accepted GGA of quality 1 to 5 with a position. Until the
// first GGA since the link or file opened, each RMC with status A gives a fix
// of unknown quality instead; the first GGA forgets those, and from then on
// only GGA counts. The newest kFixesKept fixes are kept in a ring allocated
// once, so a fix taken costs no allocation and the figures a bounded time.
//
// The centre is the mean position of the kept fixes, or the one held. Each
// fix is placed in metres east and north of it on the plane tangent there
// (WGS-84 radii of curvature at the centre's latitude).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "nmea/decode_fix.hpp"
#include "nmea/fix_quality.hpp"

namespace trelvane::monitor {

constexpr int kFixesKept = 100000;

using nmea::FixQuality;
using nmea::kQualityCount;
using nmea::kQualityOrder;
using nmea::kQualityUnknown;
using nmea::QualityName;

// Without initialisers, so that the ring's pages are touched only as fixes
// fill them: a monitor that never sees a fix does not pay for the ring.
struct Fix {
  double latitude;   // degrees, negative south
  double longitude;  // degrees, negative west
  double altitude;   // metres above mean sea level, when hasAltitude
  std::uint8_t quality;
  bool hasAltitude;
};

// Metres per degree east and north on the plane tangent at `latitude`.
struct TangentPlane {
  double eastPerDegree = 0;
  double northPerDegree = 0;
  double centreLatitude = 0;
  double centreLongitude = 0;

  static TangentPlane At(double latitude, double longitude) {
    constexpr double kSemiMajor = 6378137.0;
    constexpr double kEccentricitySquared = 0.00669437999014;
    constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
    const double phi = latitude * kRadiansPerDegree;
    const double w = 1.0 - kEccentricitySquared * std::sin(phi) * std::sin(phi);
    const double meridian = kSemiMajor * (1.0 - kEccentricitySquared) / (w * std::sqrt(w));
    const double normal = kSemiMajor / std::sqrt(w);
    return {normal * std::cos(phi) * kRadiansPerDegree, meridian * kRadiansPerDegree, latitude, longitude};
  }
  double East(const Fix& fix) const { return (fix.longitude - centreLongitude) * eastPerDegree; }
  double North(const Fix& fix) const { return (fix.latitude - centreLatitude) * northPerDegree; }
};

struct AccuracyFigures {
  int fixes = 0;
  bool held = false;  // the centre is held, not the mean
  TangentPlane plane;  // its centre is the centre
  double cep50 = 0, cep95 = 0;
  double eastSd = 0, northSd = 0, twoDrms = 0;
  int altitudes = 0;  // fixes with an altitude
  double altitudeMean = 0, altitudeSd = 0;
  int qualityFixes[kQualityCount] = {};
  bool hasGst = false;
  nmea::GstReport gst;
  double newestEast = 0, newestNorth = 0;  // where the GST's ellipse is drawn
};

class FixRecord {
 public:
  FixRecord() : fixes_(new Fix[kFixesKept]), distances_(new double[kFixesKept]) {}
  FixRecord(const FixRecord&) = delete;
  FixRecord& operator=(const FixRecord&) = delete;

  // One accepted GGA; true when the fixes changed.
  bool TakeGga(const nmea::GgaFix& gga) {
    bool changed = false;
    if (!sawGga_) {
      sawGga_ = true;
      changed = count_ != 0;
      Clear();
    }
    if (gga.quality < 1 || gga.quality > 5 || !gga.latitude.present || !gga.longitude.present) return changed;
    Add({gga.latitude.value, gga.longitude.value, gga.altitude.value, static_cast<std::uint8_t>(gga.quality),
         gga.altitude.present});
    return true;
  }

  // One accepted RMC: a fix of unknown quality while no GGA has come.
  bool TakeRmc(const nmea::RmcFix& rmc) {
    if (sawGga_ || !rmc.valid || !rmc.latitude.present || !rmc.longitude.present) return false;
    Add({rmc.latitude.value, rmc.longitude.value, 0, kQualityUnknown, false});
    return true;
  }

  void TakeGst(const nmea::GstReport& gst) {
    gst_ = gst;
    hasGst_ = true;
  }

  // The Reset button: the fixes go, the last GST stays.
  void Reset() { Clear(); }

  // A link or a file was opened: a new receiver, or a new place.
  void Forget() {
    Clear();
    sawGga_ = false;
    hasGst_ = false;
    taken_ = 0;
  }

  // From now on the fixes are only counted, none kept: a session that reads
  // a recording for its seek points needs where the fixes stood, not the
  // 4 MB of them.
  void CountOnly() {
    Clear();
    fixes_.reset();
    distances_.reset();
  }

  // Where the record stood at a point of a recording, without its fixes: a
  // seek forgets the fixes, takes up this place, and is fed the fixes again
  // from there.
  struct Place {
    bool sawGga = false;
    bool hasGst = false;
    nmea::GstReport gst;
    std::uint64_t taken = 0;  // fixes taken since the record was forgotten
  };
  Place Where() const { return Place{sawGga_, hasGst_, gst_, taken_}; }
  void ForgetTo(const Place& place) {
    Clear();
    sawGga_ = place.sawGga;
    hasGst_ = place.hasGst;
    gst_ = place.gst;
    taken_ = place.taken;
  }

  // Holds the centre at the mean of the fixes kept now (or, with none yet,
  // at the mean once there are some), or follows the mean again.
  void HoldCentre(bool hold) {
    held_ = hold;
    heldSet_ = false;
    if (hold && count_ > 0) SetHeldToMean();
  }
  bool CentreHeld() const { return held_; }

  int Count() const { return count_; }

  // Each kept fix, oldest first.
  template <class Visit>
  void EachFix(Visit visit) const {
    const int first = count_ < kFixesKept ? 0 : next_;
    for (int i = 0; i < count_; ++i) visit(fixes_[(first + i) % kFixesKept]);
  }

  // The figures over the kept fixes: a few passes and two selections, no sort.
  void Compute(AccuracyFigures& out) {
    out = AccuracyFigures{};
    out.held = held_;
    out.hasGst = hasGst_;
    out.gst = gst_;
    if (count_ == 0) return;
    if (held_ && !heldSet_) SetHeldToMean();
    double latitude = heldLatitude_, longitude = heldLongitude_;
    if (!held_) MeanPosition(latitude, longitude);
    out.fixes = count_;
    out.plane = TangentPlane::At(latitude, longitude);
    SpreadAbout(out);
    AltitudeAndQualities(out);
    const Fix& newest = fixes_[(next_ + kFixesKept - 1) % kFixesKept];
    out.newestEast = out.plane.East(newest);
    out.newestNorth = out.plane.North(newest);
  }

 private:
  void Add(const Fix& fix) {
    ++taken_;
    if (fixes_ == nullptr) return;  // counting only
    fixes_[next_] = fix;
    next_ = (next_ + 1) % kFixesKept;
    if (count_ < kFixesKept) ++count_;
  }

  void Clear() {
    next_ = 0;
    count_ = 0;
  }

  void MeanPosition(double& latitude, double& longitude) const {
    double sumLatitude = 0, sumLongitude = 0;
    EachFix([&](const Fix& fix) {
      sumLatitude += fix.latitude;
      sumLongitude += fix.longitude;
    });
    latitude = sumLatitude / count_;
    longitude = sumLongitude / count_;
  }

  void SetHeldToMean() {
    MeanPosition(heldLatitude_, heldLongitude_);
    heldSet_ = true;
  }

  // The distances' nearest ranks, and east and north about their own means.
  void SpreadAbout(AccuracyFigures& out) {
    const TangentPlane& plane = out.plane;
    double sumEast = 0, sumNorth = 0;
    int i = 0;
    EachFix([&](const Fix& fix) {
      const double east = plane.East(fix), north = plane.North(fix);
      sumEast += east;
      sumNorth += north;
      distances_[i++] = std::sqrt(east * east + north * north);
    });
    const double meanEast = sumEast / count_, meanNorth = sumNorth / count_;
    double squaresEast = 0, squaresNorth = 0;
    EachFix([&](const Fix& fix) {
      const double east = plane.East(fix) - meanEast, north = plane.North(fix) - meanNorth;
      squaresEast += east * east;
      squaresNorth += north * north;
    });
    out.eastSd = std::sqrt(squaresEast / count_);
    out.northSd = std::sqrt(squaresNorth / count_);
    out.twoDrms = 2.0 * std::sqrt(out.eastSd * out.eastSd + out.northSd * out.northSd);
    // Nearest rank: ceil(p n), counted from 1. The 95th is selected first;
    // everything before it is then no larger, so the 50th is selected there.
    const long long n = count_;
    const long long rank95 = (95 * n + 99) / 100;
    const long long rank50 = (n + 1) / 2;
    double* const begin = distances_.get();
    std::nth_element(begin, begin + (rank95 - 1), begin + count_);
    out.cep95 = begin[rank95 - 1];
    std::nth_element(begin, begin + (rank50 - 1), begin + rank95);
    out.cep50 = begin[rank50 - 1];
  }

  void AltitudeAndQualities(AccuracyFigures& out) const {
    double sum = 0;
    EachFix([&](const Fix& fix) {
      ++out.qualityFixes[fix.quality];
      if (!fix.hasAltitude) return;
      ++out.altitudes;
      sum += fix.altitude;
    });
    if (out.altitudes == 0) return;
    out.altitudeMean = sum / out.altitudes;
    double squares = 0;
    EachFix([&](const Fix& fix) {
      if (fix.hasAltitude) squares += (fix.altitude - out.altitudeMean) * (fix.altitude - out.altitudeMean);
    });
    out.altitudeSd = std::sqrt(squares / out.altitudes);
  }

  std::unique_ptr<Fix[]> fixes_;         // the ring, kFixesKept long
  std::unique_ptr<double[]> distances_;  // scratch for the selections
  int next_ = 0;                   // where the next fix goes
  int count_ = 0;
  bool sawGga_ = false;
  bool held_ = false;
  bool heldSet_ = false;
  double heldLatitude_ = 0, heldLongitude_ = 0;
  bool hasGst_ = false;
  nmea::GstReport gst_;
  std::uint64_t taken_ = 0;
};

// The page's texts, in the order of their controls.
enum AccuracyText {
  kTextFixes,
  kTextCep50,
  kTextCep95,
  kTextTwoDrms,
  kTextSpread,
  kTextAltitude,
  kTextQualities,
  kTextGst,
  kTextCentre,
  kAccuracyTextCount
};
constexpr int kAccuracyTextChars = 128;

struct AccuracyTexts {
  char text[kAccuracyTextCount][kAccuracyTextChars];
};

namespace detail {

// A whole percent of `part` in `whole`, halves rounded up.
inline long long SharePercent(int part, int whole) {
  return (200LL * part + whole) / (2LL * whole);
}

inline void FormatSigma(char* out, int capacity, const char* name, const nmea::Reading& sigma, const char* tail) {
  if (sigma.present) {
    std::snprintf(out, static_cast<std::size_t>(capacity), "%s %.2f m%s", name, sigma.value, tail);
  } else {
    std::snprintf(out, static_cast<std::size_t>(capacity), "%s -%s", name, tail);
  }
}

inline void FormatQualities(const AccuracyFigures& f, char* out, int capacity) {
  int used = 0;
  out[0] = 0;
  for (FixQuality quality : kQualityOrder) {
    const int n = f.qualityFixes[quality];
    if (n == 0 || used >= capacity) continue;
    used += std::snprintf(out + used, static_cast<std::size_t>(capacity - used), "%s%s %lld %%", used > 0 ? ", " : "",
                          QualityName(quality), SharePercent(n, f.fixes));
  }
  if (out[0] == 0) std::snprintf(out, static_cast<std::size_t>(capacity), "-");
}

inline void FormatGst(const AccuracyFigures& f, char* out, int capacity) {
  if (!f.hasGst) {
    std::snprintf(out, static_cast<std::size_t>(capacity), "GST: none");
    return;
  }
  char latitude[40], longitude[40], altitude[40];
  FormatSigma(latitude, sizeof latitude, "lat", f.gst.latitudeSigma, "");
  FormatSigma(longitude, sizeof longitude, "lon", f.gst.longitudeSigma, "");
  FormatSigma(altitude, sizeof altitude, "alt", f.gst.altitudeSigma, "");
  std::snprintf(out, static_cast<std::size_t>(capacity), "GST: %s, %s, %s", latitude, longitude, altitude);
}

}  // namespace detail

// The texts as the page shows them; `-` for what there is nothing to say of.
inline void FormatAccuracyTexts(const AccuracyFigures& f, AccuracyTexts& out) {
  constexpr auto kCap = static_cast<std::size_t>(kAccuracyTextChars);
  std::snprintf(out.text[kTextFixes], kCap, "Fixes: %d", f.fixes);
  detail::FormatGst(f, out.text[kTextGst], kAccuracyTextChars);
  detail::FormatQualities(f, out.text[kTextQualities], kAccuracyTextChars);
  if (f.fixes == 0) {
    std::snprintf(out.text[kTextCep50], kCap, "CEP50: -");
    std::snprintf(out.text[kTextCep95], kCap, "CEP95: -");
    std::snprintf(out.text[kTextTwoDrms], kCap, "2DRMS: -");
    std::snprintf(out.text[kTextSpread], kCap, "East sd: -, North sd: -");
    std::snprintf(out.text[kTextAltitude], kCap, "Altitude: -");
    std::snprintf(out.text[kTextCentre], kCap, "Centre: -");
    return;
  }
  std::snprintf(out.text[kTextCep50], kCap, "CEP50: %.2f m", f.cep50);
  std::snprintf(out.text[kTextCep95], kCap, "CEP95: %.2f m", f.cep95);
  std::snprintf(out.text[kTextTwoDrms], kCap, "2DRMS: %.2f m", f.twoDrms);
  std::snprintf(out.text[kTextSpread], kCap, "East sd: %.2f m, North sd: %.2f m", f.eastSd, f.northSd);
  if (f.altitudes == 0) {
    std::snprintf(out.text[kTextAltitude], kCap, "Altitude: -");
  } else {
    std::snprintf(out.text[kTextAltitude], kCap, "Altitude: %.1f m, sd %.2f m", f.altitudeMean, f.altitudeSd);
  }
  std::snprintf(out.text[kTextCentre], kCap, "Centre: %.8f, %.8f (%s)", f.plane.centreLatitude,
                f.plane.centreLongitude, f.held ? "held" : "mean");
}

}  // namespace trelvane::monitor
