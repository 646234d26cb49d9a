// The history as text: a row a second (`utc,used,in_view,hdop,pdop,quality,
// alt_m`) and a row a satellite a second (`utc,system,prn,cn0,used`), CSV with
// CR LF, an empty field for anything the receiver did not give. What the
// charts draw, for a spreadsheet or a test to read.
#pragma once

#include <cmath>
#include <cstdint>

#include "monitor/history.hpp"
#include "monitor/track_formats.hpp"

namespace trelvane::monitor {

// "2026-12-09T10:00:00Z", or "10:00:00" for an undated second.
template <class Out>
void WriteSecond(TrackText<Out>& text, const HistorySample& sample) {
  const std::int64_t day = sample.dated ? (sample.second >= 0 ? sample.second / 86400 : (sample.second - 86399) / 86400) : 0;
  const std::int64_t ofDay = sample.second - day * 86400;
  if (sample.dated) {
    int year, month, date;
    CivilFromDays(day, year, month, date);
    text.Format("%04d-%02d-%02dT", year, month, date);
  }
  text.Format("%02d:%02d:%02d", static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60),
              static_cast<int>(ofDay % 60));
  if (sample.dated) text.Append("Z");
}

template <class Out>
void OptionalDecimal(TrackText<Out>& text, float value, int decimals) {
  text.Append(",");
  if (!std::isnan(value)) text.Decimal(value, decimals);
}

template <class Out>
bool WriteSeries(const History& history, Out& out) {
  TrackText<Out> text(out);
  text.Append("utc,used,in_view,hdop,pdop,quality,alt_m\r\n");
  for (int i = 0; i < history.Count(); ++i) {
    const HistorySample& sample = history.At(i);
    WriteSecond(text, sample);
    text.Format(",%d,%d", sample.used, sample.inView);
    OptionalDecimal(text, sample.hdop, 2);
    OptionalDecimal(text, sample.pdop, 2);
    text.Append(",");
    if (sample.quality >= 0) text.Format("%d", sample.quality);
    OptionalDecimal(text, sample.altitude, 2);
    text.Append("\r\n");
  }
  return text.Flush();
}

template <class Out>
bool WriteCn0(const History& history, Out& out) {
  TrackText<Out> text(out);
  text.Append("utc,system,prn,cn0,used\r\n");
  for (int i = 0; i < history.Count(); ++i) {
    const HistorySample& sample = history.At(i);
    for (int k = 0; k < sample.count; ++k) {
      const HistorySatellite& satellite = sample.satellites[k];
      const int code = history.SlotCode(satellite.slot);
      WriteSecond(text, sample);
      text.Format(",%c,%d,%d,%d\r\n", nmea::SystemLetter(nmea::CodeSystem(code)), nmea::CodeNumber(code),
                  satellite.Cn0(), satellite.Used() ? 1 : 0);
    }
  }
  return text.Flush();
}

}  // namespace trelvane::monitor
