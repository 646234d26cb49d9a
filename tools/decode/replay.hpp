// Feeds a capture through sentence intake exactly as a monitor would receive
// it, and writes one JSON object per line handed to intake. A line that
// changed the all-systems view adds the key "gnss": the whole view after it.
#pragma once

#include <cstdio>

#include "link/line_assembler.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/readout.hpp"
#include "nmea/sentence_intake.hpp"
#include "tools/decode/json_writer.hpp"
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

inline void WriteReadoutText(JsonWriter& out, const nmea::FixDisplayRecord& record, nmea::ReadoutField field) {
  out.DesktopString(record.Text(field));
}

template <class Ch>
void WriteReadoutText(JsonWriter& out, const RecordedControls<Ch>& controls, nmea::ReadoutField field) {
  out.Utf16String(controls.Text(field));
}

template <class Ch>
void WriteText(JsonWriter& out, const Ch* text) {
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

  explicit Replay(JsonWriter& out) : out_(out) {}

  // Takes the next chunk of the capture.
  void Feed(const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (lines_.Push(bytes[i]) == link::LineAssembler<Ch>::Step::kLine) HandleLine(lines_.Line());
    }
  }

 private:
  static void NoteRepaint(void* self) { static_cast<Replay*>(self)->repainted_ = true; }

  void HandleLine(const Ch* line) {
    if (line[0] == Ch('#')) return;  // capture header comment
    repainted_ = false;
    const int result = intake_.HandleSentence(line);
    ++count_;
    WriteObject(result);
  }

  void WriteObject(int result) {
    static const char* const kDecoded[] = {"", "RMC", "GSA", "GSV"};
    static const char* const kKeys[nmea::kReadoutFieldCount] = {
        "date", "utc", "direction", "speed", "status", "hdop", "pdop", "northSouth", "latitude", "eastWest",
        "longitude"};
    out_.Raw("{\"n\":");
    out_.Int(count_);
    out_.Raw(",\"result\":");
    out_.Int(result);
    out_.Raw(",\"decoded\":\"");
    out_.Raw(kDecoded[static_cast<int>(intake_.lastDecoded())]);
    out_.Raw("\",\"repaint\":");
    out_.Bool(repainted_);
    out_.Raw(",\"readout\":{");
    for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
      out_.Raw(f == 0 ? "\"" : ",\"");
      out_.Raw(kKeys[f]);
      out_.Raw("\":");
      WriteReadoutText(out_, readout_, static_cast<nmea::ReadoutField>(f));
    }
    out_.Raw("},\"inView\":");
    out_.Int(satellites_.satellitesInView);
    out_.Raw(",\"sats\":[");
    for (int e = 0; e < nmea::kSatelliteEntries; ++e) {
      const auto& entry = satellites_.entries[e];
      out_.Raw(e == 0 ? "[" : ",[");
      WriteText(out_, entry.prn);
      out_.Raw(",");
      out_.Int(entry.inUse);
      out_.Raw(",");
      out_.Int(entry.snr);
      out_.Raw(",");
      out_.Int(entry.plotX);
      out_.Raw(",");
      out_.Int(entry.plotY);
      out_.Raw("]");
    }
    out_.Raw("]");
    if (intake_.gnssChanged()) WriteGnss(intake_.gnss());
    out_.Raw("}\n");
  }

  void WriteOptionalInt(const char* key, int value) {
    out_.Raw(key);
    if (value == nmea::kGnssNone) {
      out_.Raw("null");
    } else {
      out_.Int(value);
    }
  }

  // "gnss": the whole all-systems view, after a line that changed it.
  void WriteGnss(const nmea::GnssView& view) {
    out_.Raw(",\"gnss\":[");
    for (int i = 0; i < view.Count(); ++i) {
      const nmea::GnssSatellite& satellite = view.At(i);
      const char system[2] = {nmea::SystemLetter(satellite.system), 0};
      out_.Raw(i == 0 ? "{\"sys\":\"" : ",{\"sys\":\"");
      out_.Raw(system);
      out_.Raw("\",\"prn\":");
      out_.Int(satellite.number);
      WriteOptionalInt(",\"el\":", satellite.elevation);
      WriteOptionalInt(",\"az\":", satellite.azimuth);
      WriteOptionalInt(",\"snr\":", satellite.snr);
      out_.Raw(",\"used\":");
      out_.Bool(satellite.used);
      out_.Raw("}");
    }
    out_.Raw("]");
  }

  JsonWriter& out_;
  link::LineAssembler<Ch> lines_;
  DiscardingLogPane<Ch> log_;
  Readout readout_;
  nmea::SatelliteTable<Ch> satellites_;
  nmea::SentenceIntake<Build> intake_{log_, readout_, satellites_, nmea::RepaintCallback{&NoteRepaint, this}};
  long long count_ = 0;
  bool repainted_ = false;
};

}  // namespace trelvane::decode
