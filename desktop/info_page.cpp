#include "desktop/info_page.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "nmea/text.hpp"
#include "handles/gdi.hpp"
#include "ui/satellite_marks.hpp"
#include "ui/dpi.hpp"
#include "desktop/resource.h"
#include "ui/work_census.hpp"

namespace trelvane::desktop {

namespace {

struct PlacedText {
  const char* text;
  RECT rect;
};

constexpr PlacedText kLabels[] = {
    {"Date:", {165, 5, 200, 25}},     {"UTC:", {165, 25, 200, 45}},   {"Direction:", {165, 45, 240, 65}},
    {"Speed:", {165, 65, 210, 85}},   {"Status:", {165, 85, 210, 105}}, {"HDOP:", {165, 105, 210, 125}},
    {"PDOP:", {165, 125, 210, 145}},  {"Lat:", {5, 157, 35, 170}},    {"Lon:", {150, 157, 200, 170}},
};

struct PlacedField {
  nmea::ReadoutField field;
  RECT rect;
};

// Each value starts where it always has; its rectangle reaches into the room
// right of it (the page is empty right of the readout up to the legend, and
// up to "Lon:" after the latitude), so that the longest values receivers send
// today, five decimals of minutes or a three-digit speed, are not cut.
constexpr PlacedField kValues[] = {
    {nmea::ReadoutField::kDate, {225, 5, 335, 25}},       {nmea::ReadoutField::kUtc, {240, 25, 335, 45}},
    {nmea::ReadoutField::kDirection, {240, 45, 335, 65}}, {nmea::ReadoutField::kSpeed, {240, 65, 335, 85}},
    {nmea::ReadoutField::kStatus, {240, 85, 335, 105}},   {nmea::ReadoutField::kHdop, {240, 105, 335, 125}},
    {nmea::ReadoutField::kPdop, {240, 125, 335, 145}},    {nmea::ReadoutField::kNorthSouth, {40, 157, 55, 170}},
    {nmea::ReadoutField::kLatitude, {60, 157, 150, 170}}, {nmea::ReadoutField::kEastWest, {185, 157, 215, 170}},
    {nmea::ReadoutField::kLongitude, {205, 157, 335, 170}},
};


constexpr int kDrawnTextChars = 64;
constexpr int kLabelBottom = 280;  // the number under each bar

}  // namespace

void DrawCp950Text(HDC dc, const char* text, RECT rect, UINT format) {
  char bounded[kDrawnTextChars];
  nmea::CopyText(bounded, kDrawnTextChars, text);
  wchar_t wide[kDrawnTextChars];
  const int units = MultiByteToWideChar(950, 0, bounded, -1, wide, kDrawnTextChars);
  if (units <= 1) return;  // empty, or nothing convertible
  DrawTextW(dc, wide, -1, &rect, format);
}

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_PAINT:
      return OnPaint();
    case WM_INITDIALOG:
      RequestRepaint();
      return 1;
    case WM_TIMER:
      return OnTimer(wParam);
    default:
      return 0;
  }
}

// The whole page, through an off-screen bitmap of the client's size.
LRESULT InfoPage::OnPaint() {
  ui::WorkCensus::Count(ui::Work::kInfoPaints);
  repaints.Painting();
  handles::PaintScope paint(hwnd);
  RECT client = {};
  GetClientRect(hwnd, &client);
  Paint(paint.dc(), client.right - client.left, client.bottom - client.top);
  return 0;
}

// The page draws its texts itself, so its own window text carries them, one
// field after another in the readout's order, separated by '|': what a
// screen reader, or the end-to-end driver, reads of the page.
void InfoPage::SetReadoutAsText() {
  char text[nmea::kReadoutFieldCount * 16];
  nmea::TextBuilder<char> joined(text, sizeof text);
  for (int field = 0; field < nmea::kReadoutFieldCount; ++field) {
    if (field > 0) joined.AppendUnit('|');
    joined.AppendText(record.Text(static_cast<nmea::ReadoutField>(field)));
  }
  if (std::strcmp(text, readoutText_) == 0) return;
  std::memcpy(readoutText_, text, sizeof readoutText_);
  SetWindowTextA(hwnd, text);
  ui::WorkCensus::Count(ui::Work::kTextsSet);
}

// A repaint the pacer held back is due now.
LRESULT InfoPage::OnTimer(WPARAM id) {
  ui::WorkCensus::Count(ui::Work::kTimers);
  if (repaints.TimerFired(hwnd, REPAINT_TIMER_ID, id)) Invalidate();
  return 0;
}

void InfoPage::RequestRepaint() {
  SetReadoutAsText();
  if (repaints.Request(hwnd, REPAINT_TIMER_ID)) Invalidate();
}

void InfoPage::Invalidate() {
  const RECT area = ui::Scaled(kInfoRepaintArea, ui::WindowDpi(hwnd));
  InvalidateRect(hwnd, &area, FALSE);
}

void InfoPage::Paint(HDC target, int width, int height) const {
  handles::MemoryDc memory(target);
  handles::OwnedBitmap canvas(CreateCompatibleBitmap(target, width, height));
  if (memory.get() == nullptr || canvas.get() == nullptr) return;
  {
    handles::SelectedObject selected(memory.get(), canvas.get());
    PaintScaled(memory.get());
    BitBlt(target, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
  }
}

// Laid out at 96 DPI, drawn at the page's own; the world is plain again
// before the bitmap is copied out.
void InfoPage::PaintScaled(HDC memory) const {
  ui::DrawnAtDpi scaled(memory, ui::WindowDpi(hwnd));
  SetBkMode(memory, TRANSPARENT);
  handles::FillSolid(memory, kInfoRepaintArea, RGB(255, 255, 255));
  PaintReadout(memory);
  PaintSky(memory);
  if (intake != nullptr && intake->multiSystem()) {
    ui::DrawAllSystemsView<char>(memory, intake->gnss(), kAllSystemsLayout, ui::Obstacles{}, age.Grey(),
                                 DrawCp950Text);
  } else {
    for (int i = 0; i < nmea::kSatelliteEntries; ++i) PaintSatellite(memory, i);
  }
  if (age.ShownSeconds() >= 0) ui::DrawAge<char>(memory, age.ShownSeconds(), kAllSystemsLayout, DrawCp950Text);
}

// Without DT_SINGLELINE, DT_VCENTER leaves each text at the top left of its
// rectangle.
void InfoPage::PaintReadout(HDC dc) const {
  for (const PlacedText& label : kLabels) DrawCp950Text(dc, label.text, label.rect, DT_VCENTER);
  handles::TextColorScope color(dc);
  if (age.Grey()) color.Set(ui::kGreyedColor);
  for (const PlacedField& value : kValues) DrawCp950Text(dc, record.Text(value.field), value.rect, DT_VCENTER);
}

void InfoPage::PaintSky(HDC dc) const { ui::DrawSkyPicture(dc, skyBitmap.get()); }

// Entries whose number the latest group emptied are not drawn.
void InfoPage::PaintSatellite(HDC dc, int index) const {
  const nmea::SatelliteEntry<char>& entry = satellites.entries[index];
  if (entry.prn[0] == 0) return;
  ui::DrawSatelliteMarks(dc, entry, index, kLabelBottom, age.Grey(), DrawCp950Text);
}

}  // namespace trelvane::desktop
