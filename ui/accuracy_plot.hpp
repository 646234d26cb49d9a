// The accuracy page's scatter plot, for both monitors: the fixes as dots
// coloured by their quality (copied from a raster in one go), the CEP50 and
// CEP95 circles about the centre, the receiver's own 1-sigma ellipse about
// the newest fix, the axes and the scale; and the legend of the colours.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>

#include "nmea/fix_quality.hpp"
#include "nmea/text.hpp"
#include "ui/all_systems_view.hpp"
#include "handles/gdi.hpp"

namespace trelvane::ui {

// By GGA's quality number (0 for a fix of unknown quality); raster cells hold
// the quality + 1, 0 being an empty cell.
constexpr COLORREF kQualityColors[nmea::kQualityCount] = {
    RGB(96, 96, 96),   // unknown
    RGB(208, 0, 0),    // GPS
    RGB(0, 80, 224),   // DGPS
    RGB(144, 0, 176),  // PPS
    RGB(0, 152, 0),    // RTK fixed
    RGB(232, 136, 0),  // RTK float
};
constexpr COLORREF kPlotGridColor = RGB(200, 200, 200);
constexpr COLORREF kEllipseColor = RGB(0, 160, 176);

// What one paint of the plot needs, in the page's pixels and metres.
struct ScatterPicture {
  RECT plot = {};                         // a square
  const std::uint8_t* cells = nullptr;    // plot-sized raster, rows from the top
  double radiusMetres = 10;               // from the middle to each edge
  bool circles = false;                   // there are fixes: CEP50 and CEP95 are drawn
  double cep50 = 0, cep95 = 0;
  bool ellipse = false;                   // a GST's sigmas about the newest fix
  double semiMajor = 0, semiMinor = 0, orientationDegrees = 0;
  double ellipseEast = 0, ellipseNorth = 0;
  bool stale = false;                     // the data has gone old: drawn grey
};

// The picture of a frame the monitor session's figures were turned into
// (any type with these members): the plot's place and the data's age are
// the page's to add.
template <class Frame>
ScatterPicture PictureOf(const Frame& frame) {
  ScatterPicture picture;
  picture.cells = frame.cells.data();
  picture.radiusMetres = frame.radiusMetres;
  picture.circles = frame.circles;
  picture.cep50 = frame.cep50;
  picture.cep95 = frame.cep95;
  picture.ellipse = frame.ellipse;
  picture.semiMajor = frame.semiMajor;
  picture.semiMinor = frame.semiMinor;
  picture.orientationDegrees = frame.orientationDegrees;
  picture.ellipseEast = frame.ellipseEast;
  picture.ellipseNorth = frame.ellipseNorth;
  return picture;
}

namespace detail {

inline COLORREF CellColor(std::uint8_t cell, bool stale) {
  if (cell == 0 || cell > 6) return RGB(255, 255, 255);
  return stale ? kStaleColor : kQualityColors[cell - 1];
}

// The raster as a 32-bit top-down bitmap, copied onto `dc` at the plot.
inline void CopyRaster(HDC dc, const ScatterPicture& picture) {
  const int size = picture.plot.right - picture.plot.left;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down, as the raster's rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  handles::OwnedBitmap bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  handles::MemoryDc memory(dc);
  if (bitmap.get() == nullptr || bits == nullptr || memory.get() == nullptr) return;
  auto* pixel = static_cast<std::uint32_t*>(bits);
  const int count = size * size;
  for (int i = 0; i < count; ++i) {
    const COLORREF color = CellColor(picture.cells[i], picture.stale);
    // A DIB pixel is blue, green, red from the low byte up; a COLORREF the reverse.
    pixel[i] = (static_cast<std::uint32_t>(GetRValue(color)) << 16) |
               (static_cast<std::uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
  }
  handles::SelectedObject selected(memory.get(), bitmap.get());
  BitBlt(dc, picture.plot.left, picture.plot.top, size, size, memory.get(), 0, 0, SRCCOPY);
}

inline void Circle(HDC dc, int x, int y, int radius) { Ellipse(dc, x - radius, y - radius, x + radius + 1, y + radius + 1); }

// The error ellipse as a closed line: its semi-major axis `orientation`
// degrees clockwise from north.
inline void ErrorEllipse(HDC dc, const ScatterPicture& picture, double pixelsPerMetre, int middleX, int middleY) {
  constexpr int kPoints = 48;
  constexpr double kPi = 3.14159265358979323846;
  const double theta = picture.orientationDegrees * kPi / 180.0;
  POINT points[kPoints + 1];
  for (int i = 0; i <= kPoints; ++i) {
    const double t = 2.0 * kPi * i / kPoints;
    const double along = picture.semiMajor * std::cos(t), across = picture.semiMinor * std::sin(t);
    const double east = picture.ellipseEast + along * std::sin(theta) + across * std::cos(theta);
    const double north = picture.ellipseNorth + along * std::cos(theta) - across * std::sin(theta);
    points[i].x = middleX + static_cast<LONG>(std::lround(east * pixelsPerMetre));
    points[i].y = middleY - static_cast<LONG>(std::lround(north * pixelsPerMetre));
  }
  Polyline(dc, points, kPoints + 1);
}

}  // namespace detail

// The plot, clipped to its square. `scale` is the radius's label ("5 m").
template <class Ch, class DrawText>
void PaintScatter(HDC dc, const ScatterPicture& picture, const Ch* scale, DrawText drawText) {
  const RECT& plot = picture.plot;
  const int size = plot.right - plot.left;
  const int middleX = plot.left + size / 2, middleY = plot.top + size / 2;
  const double pixelsPerMetre = (size / 2.0) / picture.radiusMetres;
  detail::CopyRaster(dc, picture);
  {
    handles::OwnedPen grid(CreatePen(PS_SOLID, 1, kPlotGridColor));
    handles::SelectedObject pen(dc, grid.get());
    handles::SelectedObject brush(dc, GetStockObject(NULL_BRUSH));
    MoveToEx(dc, plot.left, middleY, nullptr);
    LineTo(dc, plot.right, middleY);
    MoveToEx(dc, middleX, plot.top, nullptr);
    LineTo(dc, middleX, plot.bottom);
    detail::Circle(dc, middleX, middleY, size / 2 - 1);
    detail::Circle(dc, middleX, middleY, size / 4);
    Rectangle(dc, plot.left, plot.top, plot.right, plot.bottom);
  }
  const COLORREF ink = picture.stale ? kGreyedColor : RGB(0, 0, 0);
  if (picture.circles) {
    handles::OwnedPen dashed(CreatePen(PS_DASH, 1, ink));
    handles::OwnedPen solid(CreatePen(PS_SOLID, 1, ink));
    handles::SelectedObject brush(dc, GetStockObject(NULL_BRUSH));
    handles::SelectedObject pen(dc, dashed.get());
    detail::Circle(dc, middleX, middleY, static_cast<int>(std::lround(picture.cep50 * pixelsPerMetre)));
    SelectObject(dc, solid.get());
    detail::Circle(dc, middleX, middleY, static_cast<int>(std::lround(picture.cep95 * pixelsPerMetre)));
  }
  if (picture.ellipse) {
    handles::OwnedPen line(CreatePen(PS_SOLID, 1, picture.stale ? kGreyedColor : kEllipseColor));
    handles::SelectedObject pen(dc, line.get());
    detail::ErrorEllipse(dc, picture, pixelsPerMetre, middleX, middleY);
  }
  handles::TextColorScope color(dc, ink);
  handles::BkModeScope mode(dc, TRANSPARENT);
  RECT label = {middleX + 3, plot.top + 1, plot.right - 2, plot.top + 15};
  drawText(dc, scale, label, DT_LEFT | DT_TOP | DT_SINGLELINE);
}

// The legend: a dot and a name per quality, most accurate first, across
// `columns` columns of `columnWidth`, then down by `lineHeight`.
template <class Ch, class DrawText>
void PaintQualityLegend(HDC dc, POINT at, int lineHeight, int columns, int columnWidth, bool stale,
                        DrawText drawText) {
  handles::TextColorScope color(dc, stale ? kGreyedColor : RGB(0, 0, 0));
  handles::BkModeScope mode(dc, TRANSPARENT);
  for (int i = 0; i < nmea::kQualityCount; ++i) {
    const int quality = nmea::kQualityOrder[i];
    const int top = at.y + (i / columns) * lineHeight;
    const int left = at.x + (i % columns) * columnWidth;
    const RECT dot = {left, top + lineHeight / 2 - 3, left + 6, top + lineHeight / 2 + 3};
    handles::FillSolid(dc, dot, stale ? kStaleColor : kQualityColors[quality]);
    Ch name[24];
    nmea::TextBuilder<Ch>(name, 24).AppendAscii(nmea::QualityName(quality));
    RECT text = {left + 10, top, left + columnWidth, top + lineHeight};
    drawText(dc, name, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  }
}

}  // namespace trelvane::ui
