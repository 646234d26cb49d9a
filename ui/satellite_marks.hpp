// What both monitors draw for one satellite: its signal bar, its ring on the
// sky plot with its number, its signal value above the bar and its number
// under the bar; and the sky picture under the rings. Text goes through the
// build's own drawing call, so the same marks serve 8-bit and UTF-16 text.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdint>

#include "nmea/satellite_table.hpp"
#include "nmea/text.hpp"
#include "ui/gdi.hpp"

namespace trelvane::ui {

constexpr int kBarBaseY = 230;     // the bars stand on this line
constexpr int kColumnLeft = 5;     // column i starts at 5 + 20 i
constexpr int kColumnPitch = 20;
constexpr int kColumnTextWidth = 15;
constexpr int kBarWidth = 14;
constexpr int kUsedBarLimit = 50;  // a bar is at most 50 pixels high
constexpr int kSnrTextTop = 210;
constexpr COLORREF kUsedColor = RGB(0, 0, 255);
constexpr COLORREF kUnusedBarColor = RGB(255, 0, 0);
constexpr COLORREF kNoSignalColor = RGB(255, 0, 0);
constexpr COLORREF kUnusedRingColor = RGB(0, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A plot position from a far-off elevation sits near the int32 limits: keep
// the ring's corners from wrapping round.
inline LONG PlotOffset(std::int32_t base, int delta) {
  const long long value = static_cast<long long>(base) + delta;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(value);
}

// Copies `sky` to (0, 0) of `dc` at its own size; nothing without a picture.
inline void DrawSkyPicture(HDC dc, HBITMAP sky) {
  if (sky == nullptr) return;
  BITMAP size = {};
  if (GetObjectW(sky, sizeof size, &size) == 0) return;
  MemoryDc picture(dc);
  if (picture.get() == nullptr) return;
  SelectedObject selected(picture.get(), sky);
  BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, picture.get(), 0, 0, SRCCOPY);
}

// Entry `index`: its bar (used: solid blue; tracked but unused: red outline,
// white inside; no signal: none), its dashed ring in the bar's colour (no
// signal: red; unused: green) with its number at the top, its signal value
// above the bar, and its number in the label slot that ends at `labelBottom`.
// `drawText(dc, text, rect, format)` draws a zero-terminated text of Ch.
template <class Ch, class DrawText>
void DrawSatelliteMarks(HDC dc, const nmea::SatelliteEntry<Ch>& entry, int index, int labelBottom, DrawText drawText) {
  const int left = kColumnLeft + kColumnPitch * index;
  const int right = left + kColumnTextWidth;
  COLORREF mark = kNoSignalColor;
  if (entry.snr != 0) {
    if (entry.inUse != 0) {
      const int h = entry.snr < kUsedBarLimit ? entry.snr : kUsedBarLimit;
      FillSolid(dc, RECT{left, kBarBaseY - h, left + kBarWidth, kBarBaseY}, kUsedColor);
      mark = kUsedColor;
    } else {
      const int h = entry.snr < kUsedBarLimit - 1 ? entry.snr : kUsedBarLimit - 1;
      FillSolid(dc, RECT{left, kBarBaseY - 1 - h, left + kBarWidth, kBarBaseY}, kUnusedBarColor);
      FillSolid(dc, RECT{left + 1, kBarBaseY - h, left + kBarWidth - 1, kBarBaseY - 1}, kWhite);
      mark = kUnusedRingColor;
    }
  }
  {
    OwnedPen pen(CreatePen(PS_DASH, 2, mark));
    SelectedObject selected(dc, pen.get());
    const RECT ring = {PlotOffset(entry.plotX, -9), PlotOffset(entry.plotY, -7), PlotOffset(entry.plotX, 9),
                       PlotOffset(entry.plotY, 7)};
    Ellipse(dc, ring.left, ring.top, ring.right, ring.bottom);
    drawText(dc, entry.prn, ring, DT_CENTER | DT_VCENTER);
    if (entry.snr != 0) {
      Ch value[16];
      TextBuilder<Ch> number(value, 16);
      number.AppendInt(entry.snr, 1);
      drawText(dc, value, RECT{left, kSnrTextTop, right, kBarBaseY}, 0);
    }
  }
  drawText(dc, entry.prn, RECT{left, kBarBaseY, right, labelBottom}, 0);
}

}  // namespace trelvane::ui
