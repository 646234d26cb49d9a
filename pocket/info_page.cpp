#include "pocket/info_page.hpp"

#include "nmea/text.hpp"
#include "ui/gdi.hpp"
#include "ui/satellite_marks.hpp"
#include "pocket/resource.h"

namespace trelvane::pocket {

namespace {

void DrawWideText(HDC dc, const wchar_t* text, RECT rect, UINT format) {
  if (text[0] == 0) return;
  DrawTextW(dc, text, -1, &rect, format);
}

}  // namespace

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_PAINT: {
      repaintPending = false;
      pacer.Painted();
      ui::PaintScope paint(hwnd);
      Paint(paint.dc());
      return 0;
    }
    case WM_INITDIALOG:
      RequestRepaint();
      return 1;
    case WM_TIMER:
      if (wParam == REPAINT_TIMER_ID) {
        pacer.TimerFired(hwnd, REPAINT_TIMER_ID);
        Invalidate();
      }
      return 0;
    default:
      return 0;  // WM_COMMAND included
  }
}

void InfoPage::RequestRepaint() {
  if (hwnd == nullptr || repaintPending || !pacer.DueNow(hwnd, REPAINT_TIMER_ID)) return;
  Invalidate();
}

void InfoPage::Invalidate() {
  InvalidateRect(hwnd, &kBarArea, FALSE);
  InvalidateRect(hwnd, &kSkyArea, FALSE);
  repaintPending = true;
}

void InfoPage::SetControlText(int controlId, const wchar_t* text) {
  ShownText* slot = nullptr;
  for (int i = 0; i < shownCount_; ++i) {
    if (shown_[i].controlId == controlId) slot = &shown_[i];
  }
  const bool fits = TextLength(text, kShownChars) < kShownChars;
  if (slot != nullptr && slot->known && fits && TextEquals(slot->text, text)) return;
  if (slot == nullptr && shownCount_ < nmea::kReadoutFieldCount) {
    slot = &shown_[shownCount_++];
    slot->controlId = controlId;
  }
  // A text the control may not have taken is not remembered as shown.
  const bool set = SetDlgItemTextW(hwnd, controlId, text) != 0;
  if (slot == nullptr) return;
  slot->known = set && fits;
  if (slot->known) CopyText(slot->text, kShownChars, text);
}

void InfoPage::Paint(HDC dc) const {
  SetBkMode(dc, TRANSPARENT);
  ui::DrawSkyPicture(dc, skyBitmap);
  ui::FillSolid(dc, kBarArea, ui::kWhite);
  if (intake != nullptr && intake->multiSystem()) {
    ui::DrawAllSystems<wchar_t>(dc, intake->gnss(), kLabelBottom, DrawWideText);
    return;
  }
  // The count is the receiver's and may exceed the table.
  const unsigned inView = static_cast<unsigned>(satellites.satellitesInView);
  for (unsigned i = 0; i < inView && i < static_cast<unsigned>(nmea::kSatelliteEntries); ++i) {
    ui::DrawSatelliteMarks(dc, satellites.entries[i], static_cast<int>(i), kLabelBottom, DrawWideText);
  }
}

}  // namespace trelvane::pocket
