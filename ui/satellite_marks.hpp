// What both monitors draw for one satellite of the $GP table: its signal bar,
// its ring on the sky plot with its number, its signal value above the bar
// and its number under the bar; and the sky picture under the rings. Stale
// data is drawn in grey. Text goes through the build's own drawing call, so
// the same marks serve 8-bit and UTF-16 text.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdint>

#include "nmea/satellite_table.hpp"
#include "nmea/text.hpp"
#include "handles/gdi.hpp"

namespace trelvane::ui {

constexpr int kBarBaseY = 230;     // the bars stand on this line
constexpr int kColumnLeft = 5;     // column i starts at 5 + 20 i
constexpr int kColumnPitch = 20;
constexpr int kColumnTextWidth = 15;
constexpr int kBarWidth = 14;
constexpr int kUsedBarLimit = 50;  // a bar is at most 50 pixels high
constexpr int kSnrTextTop = 210;
// The all-systems view's bar texts: small, so that numbers fit narrow bars.
// The caller owns the font.
inline HFONT CreateViewFont() {
  return CreateFontW(-8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Small Fonts");
}
constexpr COLORREF kUsedColor = RGB(0, 0, 255);
constexpr COLORREF kUnusedBarColor = RGB(255, 0, 0);
constexpr COLORREF kNoSignalColor = RGB(255, 0, 0);
constexpr COLORREF kUnusedRingColor = RGB(0, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGreyedColor = RGB(128, 128, 128);  // everything of data gone old

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
  handles::MemoryDc picture(dc);
  if (picture.get() == nullptr) return;
  handles::SelectedObject selected(picture.get(), sky);
  BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, picture.get(), 0, 0, SRCCOPY);
}

// One satellite as the page marks it: its label, whether the data is stale
// (drawn grey), whether the fix uses it, its signal (0: none), and its place
// on the sky plot.
template <class Ch>
struct SatelliteMark {
  const Ch* label;
  bool stale;
  bool inUse;
  int snr;
  std::int32_t plotX;
  std::int32_t plotY;
};

// The mark's colour: used solid blue; tracked but unused a green ring and a
// red outlined bar; no signal red.
template <class Ch>
COLORREF MarkColor(const SatelliteMark<Ch>& mark) {
  if (mark.stale) return kGreyedColor;
  if (mark.snr == 0) return kNoSignalColor;
  return mark.inUse ? kUsedColor : kUnusedRingColor;
}

// The dashed ring on the sky plot with the label at its top.
template <class Ch, class DrawText>
void DrawSkyRing(HDC dc, const SatelliteMark<Ch>& mark, DrawText drawText) {
  handles::OwnedPen pen(CreatePen(PS_DASH, 2, MarkColor(mark)));
  handles::SelectedObject selected(dc, pen.get());
  const RECT ring = {PlotOffset(mark.plotX, -9), PlotOffset(mark.plotY, -7), PlotOffset(mark.plotX, 9),
                     PlotOffset(mark.plotY, 7)};
  Ellipse(dc, ring.left, ring.top, ring.right, ring.bottom);
  drawText(dc, mark.label, ring, DT_CENTER | DT_VCENTER);
}

// Column `column`'s bar: used solid blue; tracked but unused a red outline,
// white inside; no signal none.
template <class Ch>
void DrawBar(HDC dc, const SatelliteMark<Ch>& mark, int column) {
  if (mark.snr == 0) return;
  const int left = kColumnLeft + kColumnPitch * column;
  if (mark.inUse) {
    const int h = mark.snr < kUsedBarLimit ? mark.snr : kUsedBarLimit;
    handles::FillSolid(dc, RECT{left, kBarBaseY - h, left + kBarWidth, kBarBaseY}, mark.stale ? kGreyedColor : kUsedColor);
  } else {
    const int h = mark.snr < kUsedBarLimit - 1 ? mark.snr : kUsedBarLimit - 1;
    handles::FillSolid(dc, RECT{left, kBarBaseY - 1 - h, left + kBarWidth, kBarBaseY},
              mark.stale ? kGreyedColor : kUnusedBarColor);
    handles::FillSolid(dc, RECT{left + 1, kBarBaseY - h, left + kBarWidth - 1, kBarBaseY - 1}, kWhite);
  }
}

// Column `column`'s signal value above the bar and the label in the slot
// under it, which ends at `labelBottom`.
template <class Ch, class DrawText>
void DrawBarTexts(HDC dc, const SatelliteMark<Ch>& mark, int column, int labelBottom, DrawText drawText) {
  const int left = kColumnLeft + kColumnPitch * column;
  const int right = left + kColumnTextWidth;
  if (mark.snr != 0) {
    Ch value[16];
    nmea::TextBuilder<Ch> number(value, 16);
    number.AppendInt(mark.snr, 1);
    drawText(dc, value, RECT{left, kSnrTextTop, right, kBarBaseY}, 0);
  }
  drawText(dc, mark.label, RECT{left, kBarBaseY, right, labelBottom}, 0);
}

// Entry `index` of the $GP table: its bar in column `index`, its ring, and
// its number as the label of both. Stale data is drawn grey, texts included.
template <class Ch, class DrawText>
void DrawSatelliteMarks(HDC dc, const nmea::SatelliteEntry<Ch>& entry, int index, int labelBottom, bool stale,
                        DrawText drawText) {
  const SatelliteMark<Ch> mark = {entry.prn, stale, entry.inUse != 0, entry.snr, entry.plotX, entry.plotY};
  handles::TextColorScope color(dc);
  if (stale) color.Set(kGreyedColor);
  DrawBar(dc, mark, index);
  DrawSkyRing(dc, mark, drawText);
  DrawBarTexts(dc, mark, index, labelBottom, drawText);
}

}  // namespace trelvane::ui
