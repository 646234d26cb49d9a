// What the information page draws, reduced to one number: the readout's texts
// (where the page draws them itself), the plotted satellites and the
// all-systems view. A 10 Hz receiver asks for a repaint with every RMC and
// GSA and each group of GSV, most of which change nothing on the page; the
// session passes a request on only when this number moved since the page was
// last asked to draw.
#pragma once

#include <cstdint>
#include <type_traits>

#include "nmea/gnss_view.hpp"
#include "nmea/readout.hpp"
#include "nmea/satellite_table.hpp"

namespace trelvane::monitor {

class PageFingerprint {
 public:
  template <class Ch, class Readout>
  static std::uint64_t Of(const Readout& readout, const nmea::SatelliteTable<Ch>& satellites,
                          const nmea::GnssView& gnss) {
    PageFingerprint f;
    if constexpr (std::is_same_v<Readout, nmea::FixDisplayRecord>) {
      for (const char* text : {readout.date, readout.utc, readout.direction, readout.speed, readout.status, readout.hdop,
                               readout.pdop, readout.northSouth, readout.latitude, readout.eastWest, readout.longitude}) {
        f.Text(text);
      }
    }
    for (const auto& entry : satellites.entries) {
      f.Text(entry.prn);
      f.Add(entry.inUse);
      f.Add(entry.snr);
      f.Add(entry.plotX);
      f.Add(entry.plotY);
    }
    f.Add(satellites.satellitesInView);
    f.Add(gnss.Count());
    for (int i = 0; i < gnss.Count(); ++i) {
      const nmea::GnssSatellite& s = gnss.At(i);
      f.Add(static_cast<int>(s.system));
      f.Add(s.number);
      f.Add(s.elevation);
      f.Add(s.azimuth);
      f.Add(s.snr);
      f.Add(s.used);
      f.Add(s.arrival);
    }
    return f.hash_;
  }

 private:
  // FNV-1a over each value's bytes as a number, so padding never counts.
  void Add(long long value) {
    for (int i = 0; i < 8; ++i) {
      hash_ = (hash_ ^ static_cast<std::uint8_t>(value >> (8 * i))) * 0x100000001B3ull;
    }
  }
  template <class Ch>
  void Text(const Ch* text) {
    for (; *text != Ch(0); ++text) Add(static_cast<long long>(*text));
    Add(-1);  // where the text ends: "1" "23" is not "12" "3"
  }

  std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

}  // namespace trelvane::monitor
