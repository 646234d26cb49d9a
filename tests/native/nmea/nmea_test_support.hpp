// What the core tests share: both builds' text types, a log pane that behaves
// like the Setup page's edit control, a recording of the handheld's readout
// controls, and a monitor assembled from them around SentenceIntake.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "nmea/build_policy.hpp"
#include "nmea/readout.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sentence_intake.hpp"

namespace trelvane::testing {

using nmea::DesktopBuild;
using nmea::PocketBuild;
using nmea::ReadoutField;

template <class Ch>
std::basic_string<Ch> Widen(const std::string& bytes) {
  std::basic_string<Ch> out;
  for (unsigned char c : bytes) out.push_back(static_cast<Ch>(c));
  return out;
}

// A readout text as UTF-8, whichever build produced it: the desktop's code
// page 950 degree sign (0xA2 0x58) and the handheld's U+00B0 both become "°".
template <class Ch>
std::string Utf8(const Ch* text) {
  std::string out;
  for (; *text != Ch(0); ++text) {
    const unsigned unit = static_cast<unsigned>(*text) & (sizeof(Ch) == 1 ? 0xFFu : 0xFFFFu);
    if (sizeof(Ch) == 1 && unit == 0xA2 && (static_cast<unsigned>(text[1]) & 0xFFu) == 0x58) {
      out += "\xC2\xB0";
      ++text;
    } else if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
      out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

// "$" + body + "*" + its checksum + CR LF, for hand-made sentences.
inline std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (unsigned char c : body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFFu);
  return "$" + body + tail;
}

// Behaves like the multi-line edit control: the line count is the number of
// line breaks plus one, and text goes in at the end (the caret follows).
template <class Ch>
class RecordingLogPane final : public nmea::LogPane<Ch> {
 public:
  int LineCount() override {
    int lines = 1;
    for (Ch c : text) lines += c == Ch('\n') ? 1 : 0;
    return lines;
  }
  void SetText(const Ch* t) override { text = t; }
  void ReplaceSelection(const Ch* t) override { text += t; }

  std::basic_string<Ch> text;
};

// The handheld information page's edit controls: the last text per control
// and the order in which controls were set.
template <class Ch>
class RecordingControls final : public nmea::ReadoutControls<Ch> {
 public:
  void SetControlText(int controlId, const Ch* text) override {
    order.push_back(controlId);
    for (auto& entry : texts) {
      if (entry.first == controlId) {
        entry.second = text;
        return;
      }
    }
    texts.emplace_back(controlId, text);
  }

  std::string Text(ReadoutField field) const {
    for (const auto& entry : texts) {
      if (entry.first == nmea::ReadoutControlId(field)) return Utf8(entry.second.c_str());
    }
    return "";
  }

  std::vector<std::pair<int, std::basic_string<Ch>>> texts;
  std::vector<int> order;
};

template <class Build>
struct ReadoutOf {
  using type = RecordingControls<typename Build::Char>;
};
template <>
struct ReadoutOf<DesktopBuild> {
  using type = nmea::FixDisplayRecord;
};

// One monitor's worth of decoding state for a build.
template <class Build>
struct Monitor {
  using Ch = typename Build::Char;

  int Feed(const std::string& line) { return intake.HandleSentence(Widen<Ch>(line).c_str()); }

  std::string Text(ReadoutField field) const {
    if constexpr (std::is_same_v<Build, DesktopBuild>) {
      return Utf8(readout.Text(field));
    } else {
      return readout.Text(field);
    }
  }

  std::string Prn(int entry) const { return Utf8(satellites.entries[entry].prn); }

  static void CountRepaint(void* self) {
    auto* monitor = static_cast<Monitor*>(self);
    ++monitor->repaints;
    if (monitor->onRepaint) monitor->onRepaint();
  }

  RecordingLogPane<Ch> log;
  typename ReadoutOf<Build>::type readout;
  nmea::SatelliteTable<Ch> satellites;
  int repaints = 0;
  std::function<void()> onRepaint;  // runs inside the repaint request
  nmea::SentenceIntake<Build> intake{log, readout, satellites, nmea::RepaintCallback{&CountRepaint, this}};
};

template <class Build>
constexpr bool kDesktop = std::is_same_v<Build, DesktopBuild>;

using BothBuilds = ::testing::Types<DesktopBuild, PocketBuild>;

}  // namespace trelvane::testing
