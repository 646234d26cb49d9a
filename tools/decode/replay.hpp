// Feeds a capture through the monitor session exactly as a monitor would
// receive it: the stream lexer cuts it into lines and binary frames, and the
// session takes both. Writes one JSON object per line handed to the session.
// A line that changed the all-systems view adds the key "gnss": the whole
// view after it. With fixes on (--gnss), a line the intake read as a GGA or
// GST adds "gga" or "gst": the values it gave.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor/capture_feed.hpp"
#include "monitor/data_age.hpp"
#include "monitor/file_clock.hpp"
#include "monitor/json_text.hpp"
#include "monitor/monitor_session.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/readout.hpp"
#include "nmea/sentence_intake.hpp"
#include "stream/stream_lexer.hpp"
#include "tools/decode/recorded_controls.hpp"

namespace trelvane::decode {

// The tool has no window: the log pane takes the text and forgets it.
template <class Ch>
class DiscardingLogPane final : public nmea::LogPane<Ch> {
 public:
  int LineCount() override { return 0; }
  void SetText(const Ch*) override {}
  void ReplaceSelection(const Ch*) override {}
};

inline void WriteReadoutText(monitor::JsonText& out, const nmea::FixDisplayRecord& record, nmea::ReadoutField field) {
  out.DesktopString(record.Text(field));
}

template <class Ch>
void WriteReadoutText(monitor::JsonText& out, const RecordedControls<Ch>& controls, nmea::ReadoutField field) {
  out.Utf16String(controls.Text(field));
}

template <class Ch>
void WriteText(monitor::JsonText& out, const Ch* text) {
  if constexpr (sizeof(Ch) == 1) {
    out.DesktopString(text);
  } else {
    out.Utf16String(text);
  }
}

// What stands for the readout: the desktop's own record, or the texts the
// handheld would have set into its controls.
template <class Build>
struct ToolReadout {
  using type = RecordedControls<typename Build::Char>;
};
template <>
struct ToolReadout<nmea::DesktopBuild> {
  using type = nmea::FixDisplayRecord;
};

template <class Build>
class Replay {
 public:
  using Ch = typename Build::Char;
  using Readout = typename ToolReadout<Build>::type;

  // Room for the longest satellite: {"sys":"S","prn":163,"el":-90,"az":359,"snr":null,"used":false}
  static constexpr int kSatelliteChars = 80;

  // `fixes`: each object adds the GGA's or GST's values; `objects` false:
  // none is written (only WriteAccuracy's texts at the end).
  explicit Replay(monitor::JsonText& out, bool fixes = false, bool objects = true)
      : out_(out), fixes_(fixes), objects_(objects) {}

  // Takes the next chunk of the capture.
  // A sentence stored with a bare LF had its CR cut off when the capture was
  // saved (a receiver ends every sentence in CR LF); the CR is put back, as
  // trelvane-sim puts it back on the wire. Other lines go in as they are.
  void Feed(const unsigned char* bytes, std::size_t count) { capture_.Feed(bytes, count, lexer_, *this); }

  // The capture ended: what looked like the start of a binary frame was
  // none, and the lines behind it are handed over.
  void Finish() { lexer_.GiveBackCandidate(*this); }

  // The accuracy page's nine texts as it shows them now, one a line.
  void WriteAccuracy() {
    session_.UpdateFigures();
    monitor::AccuracyTexts texts;
    monitor::FormatAccuracyTexts(session_.Figures(), texts);
    for (const char* text : texts.text) {
      out_.Raw(text);
      out_.Literal("\n");
    }
  }

  // The stream lexer's sink.
  void OnLine(const Ch* line, int length) {
    if (line[0] == Ch('#')) return;  // capture header comment
    const unsigned change = session_.TakeLine(line, length, clock_.Line(line, length));
    repainted_ = session_.RepaintAsked();
    ++count_;
    if (objects_) WriteObject((change & monitor::kAccepted) != 0 ? 1 : 0);
  }
  void OnFrame(const unsigned char* frame, int length) { session_.TakeFrame(frame, length, clock_.Now()); }

  // The sentences' health table as the page shows it after the last line,
  // timed by the file's own clock.
  void WriteHealth() {
    static char table[(monitor::kHealthRows + 1) * 64];
    session_.Sentences().Format(table, static_cast<int>(sizeof table), clock_.Now());
    out_.Raw(table);
    out_.Literal("\r\n");
  }
  bool OnLineCut() { return true; }  // the line is dropped; the bytes after it start the next

 private:
  void WriteObject(int result) {
    static const char* const kDecoded[] = {"", "RMC", "GSA", "GSV"};
    out_.Literal("{\"n\":");
    out_.Int(count_);
    out_.Literal(",\"result\":");
    out_.Int(result);
    out_.Literal(",\"decoded\":\"");
    out_.Raw(kDecoded[static_cast<int>(session_.Intake().lastDecoded())]);
    out_.Literal("\",\"repaint\":");
    out_.Bool(repainted_);
    WriteState();
    if (session_.Intake().gnssChanged()) WriteGnss(session_.Intake().gnss());
    if (fixes_) WriteFix();
    out_.Literal("}\n");
  }

  // "gga" or "gst": the values present in the GGA or GST the line gave.
  void WriteFix() {
    const auto& intake = session_.Intake();
    bool first = true;
    if (intake.lastFix() == nmea::FixSentence::kGga) {
      const nmea::GgaFix& gga = intake.gga();
      out_.Literal(",\"gga\":{");
      WriteReading(first, "time", gga.time);
      WriteReading(first, "lat", gga.latitude);
      WriteReading(first, "lon", gga.longitude);
      WriteCount(first, "quality", gga.quality);
      WriteCount(first, "sats", gga.satellites);
      WriteReading(first, "hdop", gga.hdop);
      WriteReading(first, "alt", gga.altitude);
      WriteReading(first, "geoid", gga.geoidSeparation);
      WriteReading(first, "dgps_age", gga.differentialAge);
      out_.Literal("}");
    } else if (intake.lastFix() == nmea::FixSentence::kGst) {
      const nmea::GstReport& gst = intake.gst();
      out_.Literal(",\"gst\":{");
      WriteReading(first, "time", gst.time);
      WriteReading(first, "rms", gst.rms);
      WriteReading(first, "major", gst.semiMajor);
      WriteReading(first, "minor", gst.semiMinor);
      WriteReading(first, "orient", gst.orientation);
      WriteReading(first, "lat_sd", gst.latitudeSigma);
      WriteReading(first, "lon_sd", gst.longitudeSigma);
      WriteReading(first, "alt_sd", gst.altitudeSigma);
      out_.Literal("}");
    }
  }

  void WriteKey(bool& first, const char* key) {
    out_.Raw(first ? "\"" : ",\"");
    out_.Raw(key);
    out_.Literal("\":");
    first = false;
  }

  // A value the receiver sent, in the fewest digits that read back as the
  // same double: 0.64 stays 0.64, and a latitude keeps every digit of the
  // minutes it came from.
  void WriteReading(bool& first, const char* key, const nmea::Reading& reading) {
    if (!reading.present) return;
    WriteKey(first, key);
    out_.Shortest(reading.value);
  }

  void WriteCount(bool& first, const char* key, int count) {
    if (count < 0) return;
    WriteKey(first, key);
    out_.Int(count);
  }

  // The readout and the $GP table change on few lines: their text is kept and
  // written again as it was while neither has changed.
  void WriteState() {
    if (stateChars_ != 0 && SameState()) {
      out_.Raw(state_, static_cast<int>(stateChars_));
      return;
    }
    const monitor::JsonText::Position from = out_.Here();
    WriteReadoutAndTable();
    const char* bytes = nullptr;
    std::size_t count = 0;
    stateChars_ = 0;
    if (out_.WrittenSince(from, bytes, count) && count <= sizeof state_) {
      std::memcpy(state_, bytes, count);
      stateChars_ = count;
      shownReadout_ = readout_;
      shownTable_ = satellites_;
    }
  }

  bool SameState() const {
    for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
      const auto field = static_cast<nmea::ReadoutField>(f);
      if (!nmea::TextEquals(readout_.Text(field), shownReadout_.Text(field))) return false;
    }
    if (satellites_.satellitesInView != shownTable_.satellitesInView) return false;
    for (int e = 0; e < nmea::kSatelliteEntries; ++e) {
      const auto& a = satellites_.entries[e];
      const auto& b = shownTable_.entries[e];
      if (!nmea::TextEquals(a.prn, b.prn) || a.inUse != b.inUse || a.snr != b.snr || a.plotX != b.plotX ||
          a.plotY != b.plotY) {
        return false;
      }
    }
    return true;
  }

  void WriteReadoutAndTable() {
    static const char* const kKeys[nmea::kReadoutFieldCount] = {
        "date", "utc", "direction", "speed", "status", "hdop", "pdop", "northSouth", "latitude", "eastWest",
        "longitude"};
    out_.Literal(",\"readout\":{");
    for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
      out_.Raw(f == 0 ? "\"" : ",\"");
      out_.Raw(kKeys[f]);
      out_.Literal("\":");
      WriteReadoutText(out_, readout_, static_cast<nmea::ReadoutField>(f));
    }
    out_.Literal("},\"inView\":");
    out_.Int(satellites_.satellitesInView);
    out_.Literal(",\"sats\":[");
    for (int e = 0; e < nmea::kSatelliteEntries; ++e) {
      const auto& entry = satellites_.entries[e];
      out_.Raw(e == 0 ? "[" : ",[");
      WriteText(out_, entry.prn);
      out_.Literal(",");
      out_.Int(entry.inUse);
      out_.Literal(",");
      out_.Int(entry.snr);
      out_.Literal(",");
      out_.Int(entry.plotX);
      out_.Literal(",");
      out_.Int(entry.plotY);
      out_.Literal("]");
    }
    out_.Literal("]");
  }

  // "gnss": the whole all-systems view, after a line that changed it. Most of
  // its satellites are as they were at the last change: each one's text is
  // kept and put together again only when the satellite changed.
  void WriteGnss(const nmea::GnssView& view) {
    out_.Literal(",\"gnss\":[");
    for (int i = 0; i < view.Count(); ++i) {
      const nmea::GnssSatellite& satellite = view.At(i);
      if (i >= gnssShown_ || !nmea::SameSatellite(satellite, shownSatellites_[i])) {
        shownSatellites_[i] = satellite;
        satelliteChars_[i] = FormatSatellite(satellite, satelliteText_[i]);
      }
      if (i != 0) out_.Literal(",");
      out_.Raw(satelliteText_[i], satelliteChars_[i]);
    }
    if (view.Count() > gnssShown_) gnssShown_ = view.Count();
    out_.Literal("]");
  }

  // Its numbers are small and bounded, so the text is put together here.
  static int FormatSatellite(const nmea::GnssSatellite& satellite, char (&text)[kSatelliteChars]) {
    int n = Put(text, 0, "{\"sys\":\"");
    text[n++] = nmea::SystemLetter(satellite.system);
    n = Put(text, n, "\",\"prn\":");
    n = PutNumber(text, n, satellite.number);
    n = Put(text, n, ",\"el\":");
    n = PutNumber(text, n, satellite.elevation);
    n = Put(text, n, ",\"az\":");
    n = PutNumber(text, n, satellite.azimuth);
    n = Put(text, n, ",\"snr\":");
    n = PutNumber(text, n, satellite.snr);
    return Put(text, n, satellite.used ? ",\"used\":true}" : ",\"used\":false}");
  }

  static int Put(char* text, int n, const char* part) {
    while (*part != 0) text[n++] = *part++;
    return n;
  }

  // A view number (-90 to 163), or null for kGnssNone.
  static int PutNumber(char* text, int n, int value) {
    if (value == nmea::kGnssNone) return Put(text, n, "null");
    if (value < 0) {
      text[n++] = '-';
      value = -value;
    }
    if (value >= 100) text[n++] = static_cast<char>('0' + value / 100 % 10);
    if (value >= 10) text[n++] = static_cast<char>('0' + value / 10 % 10);
    text[n++] = static_cast<char>('0' + value % 10);
    return n;
  }

  monitor::JsonText& out_;
  bool fixes_;    // write "gga" and "gst"
  bool objects_;  // write an object per line
  stream::StreamLexer<Ch> lexer_;
  monitor::CaptureFeed capture_;
  DiscardingLogPane<Ch> log_;
  Readout readout_;
  nmea::SatelliteTable<Ch> satellites_;
  monitor::DataAge age_;  // no page shows it
  monitor::MonitorSession<Ch> session_{log_, readout_, satellites_, age_};
  monitor::FileClock clock_;
  long long count_ = 0;
  bool repainted_ = false;
  char state_[8192];  // the readout and table text last written, for shownReadout_ and shownTable_
  std::size_t stateChars_ = 0;
  Readout shownReadout_;
  nmea::SatelliteTable<Ch> shownTable_;
  nmea::GnssSatellite shownSatellites_[nmea::kGnssCapacity];
  char satelliteText_[nmea::kGnssCapacity][kSatelliteChars];
  int satelliteChars_[nmea::kGnssCapacity] = {};
  int gnssShown_ = 0;  // entries of shownSatellites_ filled
};

}  // namespace trelvane::decode
