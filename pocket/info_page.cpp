#include "pocket/info_page.hpp"

#include "ui/gdi.hpp"
#include "ui/satellite_marks.hpp"

namespace trelvane::pocket {

namespace {

void DrawWideText(HDC dc, const wchar_t* text, RECT rect, UINT format) {
  if (text[0] == 0) return;
  DrawTextW(dc, text, -1, &rect, format);
}

}  // namespace

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_PAINT: {
      repaintPending = false;
      ui::PaintScope paint(hwnd);
      Paint(paint.dc());
      return 0;
    }
    case WM_INITDIALOG:
      RequestRepaint();
      return 1;
    default:
      return 0;  // WM_COMMAND included
  }
}

void InfoPage::RequestRepaint() {
  if (hwnd == nullptr || repaintPending) return;
  InvalidateRect(hwnd, &kBarArea, FALSE);
  InvalidateRect(hwnd, &kSkyArea, FALSE);
  repaintPending = true;
}

void InfoPage::SetControlText(int controlId, const wchar_t* text) { SetDlgItemTextW(hwnd, controlId, text); }

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
