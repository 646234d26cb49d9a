#include "pocket/info_page.hpp"

#include "nmea/text.hpp"
#include "handles/gdi.hpp"
#include "ui/satellite_marks.hpp"
#include "ui/dpi.hpp"
#include "pocket/resource.h"
#include "ui/work_census.hpp"

namespace trelvane::pocket {

namespace {

void DrawWideText(HDC dc, const wchar_t* text, RECT rect, UINT format) {
  if (text[0] == 0) return;
  DrawTextW(dc, text, -1, &rect, format);
}


bool IsReadoutControl(int id) {
  for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
    if (nmea::ReadoutControlId(static_cast<nmea::ReadoutField>(f)) == id) return true;
  }
  return false;
}

// Keeps the paint off the page's controls (the readout and its labels): the
// sky picture is wider than the room left of them. Each control's rectangle
// is also added to `reserved`, so that no mark's label is placed under one.
void ExcludeControls(HWND page, HDC dc, ui::Obstacles& reserved) {
  if (page == nullptr) return;
  for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    reserved.Add(ui::Unscaled(r, ui::WindowDpi(page)));  // the marks are placed in the page's 96-DPI pixels
  }
}

}  // namespace

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      ui::WorkCensus::Count(ui::Work::kInfoPaints);
      repaints.Painting();
      handles::PaintScope paint(hwnd);
      Paint(paint.dc());
      return 0;
    }
    case WM_INITDIALOG:
      RequestRepaint();
      return 1;
    case WM_SHOWWINDOW:
      if (wParam != 0) shown_.PutHeld([this](int id, const wchar_t* text) { PutText(id, text); });
      return 0;
    case WM_TIMER:
      ui::WorkCensus::Count(ui::Work::kTimers);
      if (repaints.TimerFired(hwnd, REPAINT_TIMER_ID, wParam)) Invalidate();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      // The readout's texts in grey while the data is old; the colours and
      // background otherwise stay the system's.
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (!age.Grey() || !IsReadoutControl(id)) return 0;
      const LRESULT brush = DefWindowProcW(hwnd, message, wParam, lParam);
      SetTextColor(reinterpret_cast<HDC>(wParam), ui::kGreyedColor);
      return brush;
    }
    default:
      return 0;  // WM_COMMAND included
  }
}

void InfoPage::RequestRepaint() {
  if (repaints.Request(hwnd, REPAINT_TIMER_ID)) Invalidate();
}

void InfoPage::AgeChanged() {
  if (hwnd == nullptr) return;
  RequestRepaint();
  for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
    HWND control = GetDlgItem(hwnd, nmea::ReadoutControlId(static_cast<nmea::ReadoutField>(f)));
    if (control != nullptr) InvalidateRect(control, nullptr, TRUE);
  }
}

// The readout's controls lie partly inside both areas. The paint keeps off
// them, so they are left out of the invalidation: otherwise every control
// under the sky or the bars would be drawn again with each paint, although
// its text did not change.
void InfoPage::Invalidate() {
  const UINT dpi = ui::WindowDpi(hwnd);
  const RECT bars = ui::Scaled(kBarArea, dpi);
  const RECT sky = ui::Scaled(kSkyArea, dpi);
  RedrawWindow(hwnd, &bars, nullptr, RDW_INVALIDATE | RDW_NOCHILDREN);
  RedrawWindow(hwnd, &sky, nullptr, RDW_INVALIDATE | RDW_NOCHILDREN);
}

// The decoders set the readout many times a second; while the page is
// hidden only the newest text per control is kept, and put in as it shows.
void InfoPage::SetControlText(int controlId, const wchar_t* text) {
  if (!IsWindowVisible(hwnd) && shown_.Hold(controlId, text)) return;
  PutText(controlId, text);
}

void InfoPage::PutText(int controlId, const wchar_t* text) {
  if (shown_.Shows(controlId, text)) return;
  FitControlFont(controlId, text);
  const bool taken = SetDlgItemTextW(hwnd, controlId, text) != 0;
  ui::WorkCensus::Count(ui::Work::kTextsSet);
  shown_.Set(controlId, text, taken);
}

namespace {

// The room for text inside an edit control, and the width of `text` in `font`.
int TextRoom(HWND control) {
  RECT client = {};
  GetClientRect(control, &client);
  const DWORD margins = static_cast<DWORD>(SendMessageW(control, EM_GETMARGINS, 0, 0));
  return client.right - LOWORD(margins) - HIWORD(margins);
}

int TextWidth(HWND control, HGDIOBJ font, const wchar_t* text, int length) {
  HDC dc = GetDC(control);
  if (dc == nullptr) return 0;
  SIZE size = {};
  {
    handles::SelectedObject selected(dc, font);
    GetTextExtentPoint32W(dc, text, length, &size);
  }
  ReleaseDC(control, dc);
  return size.cx;
}

}  // namespace

void InfoPage::FitControlFont(int controlId, const wchar_t* text) {
  HWND control = GetDlgItem(hwnd, controlId);
  HFONT pageFont = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  if (control == nullptr || pageFont == nullptr) return;
  // A coordinate no longer than a four-decimal one keeps the page's font
  // whatever its width: a $GP receiver's page stays exactly as it was.
  const int length = nmea::TextLength(text, nmea::ShownTexts<wchar_t>::kShownChars);
  const int fourDecimals = controlId == nmea::kIdcLat ? 11 : controlId == nmea::kIdcLon ? 12 : 0;
  const bool wide = length > fourDecimals && TextWidth(control, pageFont, text, length) > TextRoom(control);
  if (wide && !condensed_) {
    // The face made smaller step by step until the widest value today's
    // receivers send, a longitude of five decimals, fits the narrower of
    // the two coordinate boxes.
    static const wchar_t kWidest[] = L"000\u00B000.00000'";
    HWND lat = GetDlgItem(hwnd, nmea::kIdcLat);
    HWND lon = GetDlgItem(hwnd, nmea::kIdcLon);
    const int room = lat != nullptr && lon != nullptr && TextRoom(lat) < TextRoom(lon) ? TextRoom(lat) : TextRoom(control);
    // Smaller, not narrower: the face's small sizes come as drawn bitmaps,
    // which do not condense.
    LOGFONTW face = {};
    if (GetObjectW(pageFont, sizeof face, &face) == 0) return;
    const int height = face.lfHeight < 0 ? -face.lfHeight : face.lfHeight;
    for (int smaller = height - 1; smaller >= 8; --smaller) {
      face.lfHeight = -smaller;
      face.lfWidth = 0;
      condensed_.emplace(CreateFontIndirectW(&face));
      if (condensed_->get() == nullptr || TextWidth(control, condensed_->get(), kWidest, 13) <= room) break;
    }
  }
  HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HFONT wanted = wide && condensed_ && condensed_->get() != nullptr ? condensed_->get() : pageFont;
  if (wanted != current) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(wanted), TRUE);
}

void InfoPage::Paint(HDC dc) const {
  SetBkMode(dc, TRANSPARENT);
  ui::Obstacles reserved;
  ExcludeControls(hwnd, dc, reserved);
  // Laid out at 96 DPI, drawn at the page's own.
  ui::DrawnAtDpi scaled(dc, ui::WindowDpi(hwnd));
  ui::DrawSkyPicture(dc, skyBitmap.get());
  handles::FillSolid(dc, kBarArea, ui::kWhite);
  const int ageSeconds = age.ShownSeconds();
  if (intake != nullptr && intake->multiSystem()) {
    if (ageSeconds >= 0) reserved.Add(kAllSystemsLayout.age);
    ui::DrawAllSystemsView<wchar_t>(dc, intake->gnss(), kAllSystemsLayout, reserved, age.Grey(), DrawWideText);
  } else {
    // The count is the receiver's and may exceed the table.
    const unsigned inView = static_cast<unsigned>(satellites.satellitesInView);
    for (unsigned i = 0; i < inView && i < static_cast<unsigned>(nmea::kSatelliteEntries); ++i) {
      ui::DrawSatelliteMarks(dc, satellites.entries[i], static_cast<int>(i), kLabelBottom, age.Grey(), DrawWideText);
    }
  }
  if (ageSeconds >= 0) ui::DrawAge<wchar_t>(dc, ageSeconds, kAllSystemsLayout, DrawWideText);
}

}  // namespace trelvane::pocket
