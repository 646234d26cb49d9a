// The handheld information page: the fix as text in read-only edit controls
// that the decoders set directly, and the satellites in view as rings on the
// sky plot and a row of signal bars, painted straight to the screen.
#pragma once

#include <windows.h>

#include <optional>

#include "nmea/readout.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/shown_texts.hpp"
#include "monitor/data_age.hpp"
#include "nmea/sentence_intake.hpp"
#include "ui/all_systems_view.hpp"
#include "handles/gdi.hpp"
#include "ui/paint_pacer.hpp"
#include "ui/window_object.hpp"

namespace trelvane::pocket {

constexpr RECT kSkyArea = {0, 0, 155, 155};
constexpr RECT kBarArea = {0, 160, 240, 250};
constexpr int kLabelBottom = 250;  // the number under each bar ends here
// The all-systems view: bars across the bar area, the legend in a row along
// the sky's top edge and the age in its lower left corner, both outside the
// globe (the page has no other free room). The age shows in both views.
// The tab buttons cover the page below y = 243: one row of texts under the
// bars.
constexpr ui::AllSystemsLayout kAllSystemsLayout = {
    {0, 0, 155, 155}, 5, 235, 242, {1, 1}, true, {2, 141, 130, 155}, true,
};

class InfoPage final : public ui::WindowObject, public nmea::ReadoutControls<wchar_t> {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Invalidates the bar area and the sky area, without erasing: the rest of
  // the page is the dialog's own background and controls.
  void RequestRepaint();
  // Passes a request on only when none is pending, a few times a second
  // at most when sentences come faster than that.
  ui::PageRepaints repaints;

  void SetControlText(int controlId, const wchar_t* text) override;

  // How old the data shown is; the monitor session keeps it current.
  monitor::DataAge age;
  // The age changed what the page shows: the marks and the readout controls
  // are repainted, their colour follows the age.
  void AgeChanged();

  // Draws the sky picture, clears the bar area and draws every entry below
  // satellitesInView (at most 12), whether or not its number is empty.
  void Paint(HDC dc) const;

  // Written by the decoders only, read by the paint only.
  nmea::SatelliteTable<wchar_t> satellites;
  // The sky picture; loaded and deleted by the main window.
  handles::OwnedBitmap skyBitmap;
  // Sentence intake, set by the main window: once a receiver has sent other
  // talkers than GP, the satellites are drawn from its all-systems view.
  const nmea::SentenceIntake<nmea::PocketBuild>* intake = nullptr;

 private:
  void Invalidate();
  void PutText(int controlId, const wchar_t* text);

  nmea::ShownTexts<wchar_t> shown_;

  // A value wider than its control (five decimals of minutes in the narrow
  // latitude and longitude boxes) is shown in a smaller size of the page's
  // font, made at the first need; a value that fits keeps the page's own.
  void FitControlFont(int controlId, const wchar_t* text);
  std::optional<handles::OwnedFont> condensed_;
};

}  // namespace trelvane::pocket
