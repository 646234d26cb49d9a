// What the desktop and the handheld monitor do differently with the same
// sentences. The decoders are written once and ask the build's policy.
#pragma once

#include <type_traits>

#include "nmea/readout.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

// The desktop monitor: 8-bit code page 950 text kept in a FixDisplayRecord; the
// information page is repainted after every $GPRMC and $GPGSA and after the last
// message of a $GPGSV group.
struct DesktopBuild {
  using Char = char;
  using Readout = FixDisplayRecord;

  static constexpr bool kRepaintAfterRmcAndGsa = true;
  // Message 1 of a $GPGSV group empties every satellite number first.
  static constexpr bool kGsvEmptiesNumbersOnFirstMessage = true;
  // $GPGSA marks only among the first satellitesInView entries.
  static constexpr bool kGsaSearchBoundedByInView = true;

  static void AppendDegreeSign(TextBuilder<char>& text) {
    text.AppendUnit(static_cast<char>(0xA2));  // code page 950 degree sign
    text.AppendUnit(static_cast<char>(0x58));
  }

  static void SetText(FixDisplayRecord& readout, ReadoutField field, const char* text) {
    readout.Set(field, text);
  }
};

// The handheld monitor: UTF-16 text set straight into the information page's
// edit controls, which redraw themselves; only $GPGSV asks for a repaint.
template <class Ch>
struct HandheldBuild {
  using Char = Ch;
  using Readout = ReadoutControls<Ch>;

  static constexpr bool kRepaintAfterRmcAndGsa = false;
  static constexpr bool kGsvEmptiesNumbersOnFirstMessage = false;
  static constexpr bool kGsaSearchBoundedByInView = false;

  static void AppendDegreeSign(TextBuilder<Ch>& text) { text.AppendUnit(Ch(0x00B0)); }

  static void SetText(ReadoutControls<Ch>& readout, ReadoutField field, const Ch* text) {
    readout.SetControlText(ReadoutControlId(field), text);
  }
};

// The UTF-16 code unit of this platform: wchar_t where it is 16 bits wide (the
// Windows build, which the handheld monitor ships), char16_t elsewhere.
using Utf16Unit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

using PocketBuild = HandheldBuild<Utf16Unit>;

}  // namespace trelvane::nmea
