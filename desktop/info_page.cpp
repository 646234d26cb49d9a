#include "desktop/info_page.hpp"

#include <cstdint>
#include <cstdio>

#include "core/nmea/text.hpp"
#include "desktop/gdi.hpp"

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

constexpr PlacedField kValues[] = {
    {nmea::ReadoutField::kDate, {225, 5, 300, 25}},       {nmea::ReadoutField::kUtc, {240, 25, 300, 45}},
    {nmea::ReadoutField::kDirection, {240, 45, 300, 65}}, {nmea::ReadoutField::kSpeed, {240, 65, 300, 85}},
    {nmea::ReadoutField::kStatus, {240, 85, 300, 105}},   {nmea::ReadoutField::kHdop, {240, 105, 300, 125}},
    {nmea::ReadoutField::kPdop, {240, 125, 300, 145}},    {nmea::ReadoutField::kNorthSouth, {40, 157, 55, 170}},
    {nmea::ReadoutField::kLatitude, {60, 157, 135, 170}}, {nmea::ReadoutField::kEastWest, {185, 157, 215, 170}},
    {nmea::ReadoutField::kLongitude, {205, 157, 300, 170}},
};

constexpr int kDrawnTextChars = 64;

// A plot position from a far-off elevation sits near the int32 limits: keep
// the ring's corners from wrapping round.
LONG Offset(std::int32_t base, int delta) {
  const long long value = static_cast<long long>(base) + delta;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(value);
}

}  // namespace

void DrawCp950Text(HDC dc, const char* text, RECT rect, UINT format) {
  char bounded[kDrawnTextChars];
  CopyText(bounded, kDrawnTextChars, text);
  wchar_t wide[kDrawnTextChars];
  const int units = MultiByteToWideChar(950, 0, bounded, -1, wide, kDrawnTextChars);
  if (units <= 1) return;  // empty, or nothing convertible
  DrawTextW(dc, wide, -1, &rect, format);
}

LRESULT InfoPage::HandleMessage(HWND, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_PAINT: {
      ui::PaintScope paint(hwnd);
      RECT client = {};
      GetClientRect(hwnd, &client);
      Paint(paint.dc(), client.right - client.left, client.bottom - client.top);
      return 0;
    }
    case WM_INITDIALOG:
      RequestRepaint();
      return 1;
    default:
      return 0;
  }
}

void InfoPage::RequestRepaint() {
  if (hwnd != nullptr) InvalidateRect(hwnd, &kInfoRepaintArea, FALSE);
}

void InfoPage::Paint(HDC target, int width, int height) const {
  ui::MemoryDc memory(target);
  ui::OwnedBitmap canvas(CreateCompatibleBitmap(target, width, height));
  if (memory.get() == nullptr || canvas.get() == nullptr) return;
  {
    ui::SelectedObject selected(memory.get(), canvas.get());
    SetBkMode(memory.get(), TRANSPARENT);
    ui::FillSolid(memory.get(), kInfoRepaintArea, RGB(255, 255, 255));
    PaintReadout(memory.get());
    PaintSky(memory.get());
    for (int i = 0; i < nmea::kSatelliteEntries; ++i) PaintSatellite(memory.get(), i);
    BitBlt(target, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
  }
}

// Without DT_SINGLELINE, DT_VCENTER leaves each text at the top left of its
// rectangle.
void InfoPage::PaintReadout(HDC dc) const {
  for (const PlacedText& label : kLabels) DrawCp950Text(dc, label.text, label.rect, DT_VCENTER);
  for (const PlacedField& value : kValues) DrawCp950Text(dc, record.Text(value.field), value.rect, DT_VCENTER);
}

void InfoPage::PaintSky(HDC dc) const {
  if (skyBitmap == nullptr) return;
  BITMAP size = {};
  if (GetObjectA(skyBitmap, sizeof size, &size) == 0) return;
  ui::MemoryDc picture(dc);
  if (picture.get() == nullptr) return;
  ui::SelectedObject selected(picture.get(), skyBitmap);
  BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, picture.get(), 0, 0, SRCCOPY);
}

// One satellite: its bar (used: solid blue; tracked but unused: red outline,
// white inside; no signal: none), its ring on the sky plot with its number,
// its signal value above the bar and its number under the column.
void InfoPage::PaintSatellite(HDC dc, int index) const {
  const nmea::SatelliteEntry<char>& entry = satellites.entries[index];
  if (entry.prn[0] == 0) return;
  const int left = kColumnLeft + kColumnPitch * index;
  const int right = left + kColumnPitch - 5;  // the column's text rectangle ends 15 pixels on
  COLORREF mark = kNoSignalColor;
  if (entry.snr != 0) {
    if (entry.inUse != 0) {
      const int h = entry.snr < kUsedBarLimit ? entry.snr : kUsedBarLimit;
      ui::FillSolid(dc, RECT{left, kBarBaseY - h, left + kBarWidth, kBarBaseY}, kUsedColor);
      mark = kUsedColor;
    } else {
      const int h = entry.snr < kUsedBarLimit - 1 ? entry.snr : kUsedBarLimit - 1;
      ui::FillSolid(dc, RECT{left, kBarBaseY - 1 - h, left + kBarWidth, kBarBaseY}, kUnusedBarColor);
      ui::FillSolid(dc, RECT{left + 1, kBarBaseY - h, left + kBarWidth - 1, kBarBaseY - 1}, RGB(255, 255, 255));
      mark = kUnusedRingColor;
    }
  }
  {
    ui::OwnedPen pen(CreatePen(PS_DASH, 2, mark));
    ui::SelectedObject selected(dc, pen.get());
    const RECT ring = {Offset(entry.plotX, -9), Offset(entry.plotY, -7), Offset(entry.plotX, 9), Offset(entry.plotY, 7)};
    Ellipse(dc, ring.left, ring.top, ring.right, ring.bottom);
    DrawCp950Text(dc, entry.prn, ring, DT_CENTER | DT_VCENTER);
    if (entry.snr != 0) {
      char value[16];
      std::snprintf(value, sizeof value, "%d", static_cast<int>(entry.snr));
      DrawCp950Text(dc, value, RECT{left, 210, right, kBarBaseY}, 0);
    }
  }
  DrawCp950Text(dc, entry.prn, RECT{left, kBarBaseY, right, 280}, 0);
}

}  // namespace trelvane::desktop
