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
    reserved.Add(r);
  }
}

}  // namespace

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
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
      } else if (wParam == AGE_TIMER_ID) {
        OnTick(GetTickCount());
      }
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
  if (hwnd == nullptr || repaintPending || !pacer.DueNow(hwnd, REPAINT_TIMER_ID)) return;
  Invalidate();
}

void InfoPage::OnLinkOpened() {
  if (hwnd != nullptr) SetTimer(hwnd, AGE_TIMER_ID, ui::kAgeTimerMs, nullptr);
  if (age.LinkOpened(GetTickCount())) AgeChanged();
}

void InfoPage::OnLinkClosed() {
  if (hwnd != nullptr) KillTimer(hwnd, AGE_TIMER_ID);
  if (age.LinkClosed()) AgeChanged();
}

void InfoPage::OnSentenceAccepted() {
  if (age.SentenceAccepted(GetTickCount())) AgeChanged();
}

void InfoPage::OnTick(DWORD now) {
  if (age.Tick(now)) AgeChanged();
}

void InfoPage::AgeChanged() {
  if (hwnd == nullptr) return;
  RequestRepaint();
  for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
    HWND control = GetDlgItem(hwnd, nmea::ReadoutControlId(static_cast<nmea::ReadoutField>(f)));
    if (control != nullptr) InvalidateRect(control, nullptr, TRUE);
  }
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
  ui::Obstacles reserved;
  ExcludeControls(hwnd, dc, reserved);
  ui::DrawSkyPicture(dc, skyBitmap);
  ui::FillSolid(dc, kBarArea, ui::kWhite);
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
