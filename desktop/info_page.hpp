// The information page: the current fix as text, the satellites in view as
// marks on the sky plot and as a row of signal bars. It has no controls;
// everything is painted, off screen and then in one copy, from the data the
// decoders keep in this object.
#pragma once

#include <windows.h>

#include "nmea/readout.hpp"
#include "nmea/satellite_table.hpp"
#include "monitor/data_age.hpp"
#include "nmea/sentence_intake.hpp"
#include "ui/all_systems_view.hpp"
#include "handles/gdi.hpp"
#include "ui/paint_pacer.hpp"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class InfoPage final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Asks for the whole page to be painted again, without erasing: the paint
  // covers every pixel itself.
  void RequestRepaint();
  // Passes a request on only when none is pending, a few times a second
  // at most when sentences come faster than that.
  ui::PageRepaints repaints{ui::kReadoutPaintGapMs};  // its readout is drawn: every fix of a 10 Hz receiver

  // How old the data shown is; the monitor session keeps it current.
  monitor::DataAge age;

  // Draws the page into `target`, `width` x `height` pixels, through an
  // off-screen bitmap copied in one go.
  void Paint(HDC target, int width, int height) const;

  // Written by the decoders only, read by the paint only.
  nmea::SatelliteTable<char> satellites;
  nmea::FixDisplayRecord record;
  // The sky picture; loaded and deleted by the main window.
  handles::OwnedBitmap skyBitmap;
  // Sentence intake, set by the main window: once a receiver has sent other
  // talkers than GP, the satellites are drawn from its all-systems view.
  const nmea::SentenceIntake<nmea::DesktopBuild>* intake = nullptr;

 private:
  LRESULT OnPaint();
  LRESULT OnTimer(WPARAM id);
  void Invalidate();
  void SetReadoutAsText();
  void PaintScaled(HDC memory) const;
  void PaintReadout(HDC dc) const;
  // The readout as the page's window text last held it: a fix that changes
  // nothing of it (a satellite's signal, the sky) sets nothing.
  char readoutText_[nmea::kReadoutFieldCount * 16] = {};
  void PaintSky(HDC dc) const;
  void PaintSatellite(HDC dc, int index) const;
};

// Geometry of the page, in page client pixels.
constexpr RECT kInfoRepaintArea = {0, 0, 520, 420};
// The all-systems view: bars across the page, the legend in the empty area
// right of the readout, the age below the bars (in both views).
constexpr ui::AllSystemsLayout kAllSystemsLayout = {
    {0, 0, 155, 155}, 5, 515, 280, {345, 8}, false, {5, 288, 300, 305}, false,
};
// Draws code page 950 text as the system's own wide text, so that its degree
// sign (0xA2 0x58) shows as "°" whatever the system's code page. At most 63
// characters of `text` are drawn.
void DrawCp950Text(HDC dc, const char* text, RECT rect, UINT format);

}  // namespace trelvane::desktop
