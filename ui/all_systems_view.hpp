// The all-systems view as both monitors draw it: a small mark per satellite
// on the sky plot, its shape saying its system and its fill its signal, with
// the number beside it where there is room; a legend of the systems present;
// and a bar for every satellite with a signal, narrow enough that all of them
// fit the bar area, grouped by system with the used ones first. Text goes
// through the build's own drawing call, as in satellite_marks.hpp.
//
// Everything is laid out in fixed arrays on the stack; the paint allocates
// nothing but the few GDI objects it owns for its duration.
#pragma once

#include <windows.h>

#include <cstdint>

#include "nmea/gnss_view.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/text.hpp"
#include "handles/gdi.hpp"
#include "ui/satellite_marks.hpp"

namespace trelvane::ui {

// Where one build puts the view. The sky picture's plot is the same on both.
struct AllSystemsLayout {
  RECT sky;          // marks' labels stay inside it
  int barLeft;       // the bars share the width from barLeft to barRight
  int barRight;
  int labelBottom;   // the numbers and letters under the bars end here
  POINT legend;      // the legend's first entry
  bool legendOnSky;  // in one row on the dark sky, or one system per line on the page
  RECT age;          // where "No data for N s" goes
  bool ageOnSky;
};

constexpr int kMarkRadius = 4;     // a round or square mark is 9 pixels across
constexpr int kMarkExtent = 5;     // the pointed ones reach a pixel further
constexpr int kMaxAllSystemsPitch = 20;
constexpr int kTextGap = 3;        // between two numbers side by side

// Signal bands of the marks' fill: none, weak (below 22 dB-Hz), fair (22 to
// 32) and good (33 and up), as displays that people read easily band them.
enum class SignalBand { kNone, kWeak, kFair, kGood };

inline SignalBand BandOf(int snr) {
  if (snr <= 0) return SignalBand::kNone;
  if (snr < 22) return SignalBand::kWeak;
  return snr < 33 ? SignalBand::kFair : SignalBand::kGood;
}

constexpr COLORREF kBandColors[] = {RGB(150, 150, 150), RGB(240, 50, 40), RGB(250, 215, 0), RGB(40, 210, 70)};
constexpr COLORREF kStaleColor = RGB(192, 192, 192);  // marks of data gone old; their texts kGreyedColor
constexpr COLORREF kSkyTextColor = RGB(255, 255, 255);
constexpr COLORREF kSkyShadowColor = RGB(0, 0, 0);

// Each system's colour for the numbers and letters under the bars and in the
// desktop legend, in the view's order G R E C J I S.
constexpr COLORREF kSystemColors[nmea::kGnssSystems] = {RGB(0, 140, 0),   RGB(215, 110, 0), RGB(190, 0, 190),
                                                        RGB(210, 0, 0),   RGB(0, 0, 220),   RGB(0, 130, 130),
                                                        RGB(110, 90, 50)};

inline const char* SystemName(nmea::GnssSystem system) {
  static const char* const kNames[nmea::kGnssSystems] = {"GPS", "GLONASS", "Galileo", "BeiDou",
                                                         "QZSS", "NavIC",   "SBAS"};
  return kNames[static_cast<int>(system)];
}

// The labels beside the marks: bold, so that they read on the sky picture.
inline HFONT CreateMarkFont() {
  return CreateFontW(-10, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Tahoma");
}

inline bool Overlaps(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

inline bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// One system's shape, centred on (x, y), with the pen and brush selected.
inline void DrawShape(HDC dc, nmea::GnssSystem system, int x, int y) {
  const int r = kMarkRadius;
  switch (system) {
    case nmea::GnssSystem::kGps:
      Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
      return;
    case nmea::GnssSystem::kNavic:
      Ellipse(dc, x - r - 1, y - r + 1, x + r + 2, y + r);
      return;
    default:
      break;
  }
  static const POINT kSquare[] = {{-4, -4}, {4, -4}, {4, 4}, {-4, 4}};
  static const POINT kTriangle[] = {{0, -5}, {5, 4}, {-5, 4}};
  static const POINT kPentagon[] = {{0, -5}, {5, -1}, {3, 4}, {-3, 4}, {-5, -1}};
  static const POINT kHexagon[] = {{-2, -4}, {2, -4}, {5, 0}, {2, 4}, {-2, 4}, {-5, 0}};
  static const POINT kDiamond[] = {{0, -5}, {5, 0}, {0, 5}, {-5, 0}};
  const POINT* shape = kDiamond;
  int corners = 4;
  if (system == nmea::GnssSystem::kGlonass) shape = kSquare;
  if (system == nmea::GnssSystem::kGalileo) shape = kTriangle, corners = 3;
  if (system == nmea::GnssSystem::kBeidou) shape = kPentagon, corners = 5;
  if (system == nmea::GnssSystem::kQzss) shape = kHexagon, corners = 6;
  POINT at[6];
  for (int i = 0; i < corners; ++i) at[i] = POINT{x + shape[i].x, y + shape[i].y};
  Polygon(dc, at, corners);
}

// The pens and brushes of one paint: a used satellite is filled in its
// band's colour inside a thin white edge; an unused one is its band's colour
// as a thick outline, hollow. Stale data is all silver.
class MarkInks {
 public:
  explicit MarkInks(bool stale)
      : stale_(stale),
        edge_(CreatePen(PS_SOLID, 1, stale ? kGreyedColor : kSkyTextColor)),
        outline_{handles::OwnedPen(CreatePen(PS_SOLID, 2, Color(0))), handles::OwnedPen(CreatePen(PS_SOLID, 2, Color(1))),
                 handles::OwnedPen(CreatePen(PS_SOLID, 2, Color(2))), handles::OwnedPen(CreatePen(PS_SOLID, 2, Color(3)))},
        fill_{handles::OwnedBrush(CreateSolidBrush(Color(0))), handles::OwnedBrush(CreateSolidBrush(Color(1))),
              handles::OwnedBrush(CreateSolidBrush(Color(2))), handles::OwnedBrush(CreateSolidBrush(Color(3)))} {}

  void Draw(HDC dc, const nmea::GnssSatellite& satellite, int x, int y) const {
    const int band = static_cast<int>(BandOf(satellite.snr));
    if (satellite.used) {
      handles::SelectedObject pen(dc, edge_.get());
      handles::SelectedObject brush(dc, fill_[band].get());
      DrawShape(dc, satellite.system, x, y);
    } else {
      handles::SelectedObject pen(dc, outline_[band].get());
      handles::SelectedObject brush(dc, GetStockObject(NULL_BRUSH));
      DrawShape(dc, satellite.system, x, y);
    }
  }

 private:
  COLORREF Color(int band) const { return stale_ ? kStaleColor : kBandColors[band]; }

  bool stale_;
  handles::OwnedPen edge_;
  handles::OwnedPen outline_[4];
  handles::OwnedBrush fill_[4];
};

// Text on the sky picture: light on a one-pixel dark shadow, so that it reads
// on the globe, the stars and the rings alike.
template <class Ch, class DrawText>
void DrawSkyText(HDC dc, const Ch* text, const RECT& rect, UINT format, bool stale, DrawText drawText) {
  handles::TextColorScope color(dc, kSkyShadowColor);
  if (!stale) drawText(dc, text, RECT{rect.left + 1, rect.top + 1, rect.right + 1, rect.bottom + 1}, format);
  color.Set(stale ? kStaleColor : kSkyTextColor);
  drawText(dc, text, rect, format);
}

// The widths of one, two and three digits in the selected font (digits are
// of one width in the faces used here).
// Also the cell's height, and where in it the digits' ink stands: digits
// have no descent, and the internal leading above them is empty.
struct DigitWidths {
  int of[4] = {};
  int height = 0;
  int inkTop = 0;
  int inkHeight = 0;
};

inline DigitWidths MeasureDigits(HDC dc) {
  DigitWidths widths;
  SIZE size = {};
  for (int n = 1; n <= 3; ++n) {
    if (GetTextExtentPoint32W(dc, L"000", n, &size)) widths.of[n] = size.cx;
  }
  widths.height = size.cy;
  TEXTMETRICW metrics = {};
  if (GetTextMetricsW(dc, &metrics)) {
    widths.inkTop = metrics.tmInternalLeading;
    widths.inkHeight = metrics.tmAscent - metrics.tmInternalLeading;
  } else {
    widths.inkHeight = size.cy;
  }
  return widths;
}

inline int DigitCount(int number) { return number >= 100 ? 3 : number >= 10 ? 2 : 1; }

// --- Sky plot: marks, then labels placed where they cover nothing.

constexpr int kMaxObstacles = nmea::kGnssCapacity * 2 + nmea::kGnssSystems + 2;

struct Obstacles {
  RECT rect[kMaxObstacles];
  int count = 0;
  void Add(const RECT& r) {
    if (count < kMaxObstacles) rect[count++] = r;
  }
  bool Hits(const RECT& r) const {
    for (int i = 0; i < count; ++i) {
      if (Overlaps(r, rect[i])) return true;
    }
    return false;
  }
};

// Where a paint put its marks, bars and texts, for a caller that checks the
// layout (the page passes none).
struct ViewPlacement {
  Obstacles marks;
  Obstacles bars;
  Obstacles labels;  // the numbers beside the marks
  Obstacles texts;   // legend entries, texts over and under the bars
};

// Whether a satellite has a place on the sky: an elevation and an azimuth,
// and not both zero, which receivers send for a satellite whose place they
// do not know yet (beidou-gb lists five such at once, with a signal).
inline bool HasSkyPlace(const nmea::GnssSatellite& satellite) {
  if (satellite.elevation == nmea::kGnssNone || satellite.azimuth == nmea::kGnssNone) return false;
  return satellite.elevation != 0 || satellite.azimuth != 0;
}

// A satellite's plot position, when it has one.
inline bool PlotPlace(const nmea::GnssSatellite& satellite, POINT& at) {
  if (!HasSkyPlace(satellite)) return false;
  const nmea::PlotPoint p = nmea::SkyPlotPosition(satellite.elevation, satellite.azimuth);
  at = POINT{PlotOffset(p.x, 0), PlotOffset(p.y, 0)};
  return true;
}

// The first of eight places beside the mark (right, left, above, below,
// then right and left shifted up and down) that lies inside `sky`, covers no
// mark and stays a pixel clear of every label placed so far (and of the
// reserved places), so that no two
// labels read as one number. `marks` holds each mark's box.
inline bool PlaceLabel(POINT at, int width, int height, const RECT& sky, const Obstacles& marks,
                       const Obstacles& labels, RECT& label) {
  const int right = at.x + kMarkExtent + 1;  // just past the mark's box
  const int left = at.x - kMarkExtent - width;
  const int above = at.y - kMarkExtent - height;
  const int below = at.y + kMarkExtent + 1;
  const int middle = at.y - height / 2;
  const int centre = at.x - width / 2;
  const POINT corners[] = {{right, middle}, {left, middle}, {centre, above},    {centre, below},
                           {right, at.y - height}, {right, at.y + 1}, {left, at.y - height}, {left, at.y + 1}};
  for (const POINT& corner : corners) {
    const RECT r = {corner.x, corner.y, corner.x + width, corner.y + height};
    if (Inside(r, sky) && !marks.Hits(r) && !labels.Hits(RECT{r.left - 1, r.top - 1, r.right + 1, r.bottom + 1})) {
      label = r;
      return true;
    }
  }
  return false;
}

// The marks, used ones drawn last so that they stay on top, then the labels:
// used satellites' first. `reserved` holds what labels must keep off (the
// legend, the age). Returns the number of labels drawn.
template <class Ch, class DrawText>
int DrawSkyMarks(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, const Obstacles& reserved,
                 bool stale, ViewPlacement* placed, DrawText drawText) {
  MarkInks inks(stale);
  Obstacles marks;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < view.Count(); ++i) {
      const nmea::GnssSatellite& s = view.At(i);
      POINT at;
      if (s.used != (pass == 1) || !PlotPlace(s, at)) continue;
      inks.Draw(dc, s, at.x, at.y);
      const RECT box = {at.x - kMarkExtent, at.y - kMarkExtent, at.x + kMarkExtent + 1, at.y + kMarkExtent + 1};
      marks.Add(box);
      if (placed != nullptr) placed->marks.Add(box);
    }
  }
  handles::OwnedFont font(CreateMarkFont());
  handles::SelectedObject selected(dc, font.get());
  const DigitWidths digits = MeasureDigits(dc);
  Obstacles labels = reserved;
  int drawn = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < view.Count(); ++i) {
      const nmea::GnssSatellite& s = view.At(i);
      POINT at;
      if (s.used != (pass == 0) || !PlotPlace(s, at)) continue;
      RECT label;
      // The digits' ink, one pixel more each way for the shadow.
      const int width = digits.of[DigitCount(s.number)] + 1;
      if (!PlaceLabel(at, width, digits.inkHeight + 1, layout.sky, marks, labels, label)) continue;
      labels.Add(label);
      if (placed != nullptr) placed->labels.Add(label);
      Ch text[8];
      nmea::TextBuilder<Ch> number(text, 8);
      number.AppendInt(s.number, 1);
      const RECT cell = {label.left, label.top - digits.inkTop, label.right, label.bottom};
      DrawSkyText(dc, text, cell, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP, stale, drawText);
      ++drawn;
    }
  }
  return drawn;
}

// --- Legend: the systems present, each with its shape and letter.

inline unsigned SystemsPresent(const nmea::GnssView& view) {
  unsigned present = 0;
  for (int i = 0; i < view.Count(); ++i) present |= 1u << static_cast<int>(view.At(i).system);
  return present;
}

// Draws the legend and adds its entries to `reserved`. On the sky: one row
// of shape and letter per system; on the page: shape, letter and name, one
// system per line, the letter in the system's colour.
template <class Ch, class DrawText>
void DrawLegend(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, bool stale, Obstacles& reserved,
                ViewPlacement* placed, DrawText drawText) {
  const unsigned present = SystemsPresent(view);
  if (present == 0) return;
  handles::OwnedFont font(CreateMarkFont());
  handles::SelectedObject selected(dc, font.get());
  handles::OwnedPen pen(CreatePen(PS_SOLID, 1, stale ? kGreyedColor : RGB(0, 0, 0)));
  handles::OwnedBrush brush(CreateSolidBrush(stale ? kStaleColor : kSkyTextColor));
  handles::SelectedObject selectedPen(dc, pen.get());
  handles::SelectedObject selectedBrush(dc, brush.get());
  handles::TextColorScope color(dc);
  int x = layout.legend.x;
  int y = layout.legend.y;
  for (int s = 0; s < nmea::kGnssSystems; ++s) {
    if ((present & (1u << s)) == 0) continue;
    const auto system = static_cast<nmea::GnssSystem>(s);
    const int mid = y + 6;
    DrawShape(dc, system, x + 5, mid);
    Ch text[24];
    nmea::TextBuilder<Ch> line(text, 24);
    line.AppendUnit(Ch(nmea::SystemLetter(system)));
    if (layout.legendOnSky) {
      const RECT letter = {x + 11, y, x + 19, y + 12};
      DrawSkyText(dc, text, letter, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP, stale, drawText);
      reserved.Add(RECT{x, y, x + 19, y + 12});
      if (placed != nullptr) placed->texts.Add(RECT{x, y, x + 19, y + 12});
      x += 20;
    } else {
      line.AppendAscii("  ");
      line.AppendAscii(SystemName(system));
      color.Set(stale ? kGreyedColor : kSystemColors[s]);
      drawText(dc, text, RECT{x + 14, y, x + 110, y + 13}, DT_LEFT | DT_TOP | DT_SINGLELINE);
      reserved.Add(RECT{x, y, x + 110, y + 13});
      if (placed != nullptr) placed->texts.Add(RECT{x, y, x + 110, y + 13});
      y += 14;
    }
  }
}

// --- Bars: every satellite with a signal, grouped G R E C J I S, used first.

// The bar order; returns the count. Satellites without a signal get no bar.
inline int AllSystemsBarOrder(const nmea::GnssView& view, int (&order)[nmea::kGnssCapacity]) {
  int n = 0;
  for (int s = 0; s < nmea::kGnssSystems; ++s) {
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = 0; i < view.Count(); ++i) {
        const nmea::GnssSatellite& sat = view.At(i);
        if (static_cast<int>(sat.system) != s || sat.used != (pass == 0) || sat.snr <= 0) continue;
        order[n++] = i;
      }
    }
  }
  return n;
}

// The pitch of `count` bars across the layout's bar width, at most 20 pixels.
inline int BarPitch(const AllSystemsLayout& layout, int count) {
  if (count <= 0) return kMaxAllSystemsPitch;
  const int pitch = (layout.barRight - layout.barLeft) / count;
  return pitch < kMaxAllSystemsPitch ? pitch : kMaxAllSystemsPitch;
}

// A bar of `pitch` leaves a gap of three tenths, at least a pixel.
inline int BarWidthFor(int pitch) {
  const int gap = pitch >= 10 ? pitch * 3 / 10 : 1;
  return pitch - gap > 1 ? pitch - gap : 1;
}

// How the bars share the bar area: their order (AllSystemsBarOrder), pitch
// and width, and the digits of the bar font.
struct BarRow {
  int order[nmea::kGnssCapacity];
  int count = 0;
  int pitch = 0;
  int width = 0;
  DigitWidths digits;
};

// The bars, each with its signal value above it on the page's white where
// any two-digit value fits the pitch with room to tell it from the next.
template <class Ch, class DrawText>
void DrawBarsWithValues(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, const BarRow& row,
                        bool stale, ViewPlacement* placed, DrawText drawText) {
  const COLORREF usedColor = stale ? kGreyedColor : kUsedColor;
  const COLORREF unusedColor = stale ? kGreyedColor : kUnusedBarColor;
  const bool values = row.digits.of[2] + kTextGap <= row.pitch;
  handles::TextColorScope color(dc, stale ? kGreyedColor : RGB(0, 0, 0));
  for (int k = 0; k < row.count; ++k) {
    const nmea::GnssSatellite& s = view.At(row.order[k]);
    const int left = layout.barLeft + row.pitch * k;
    const int h = s.snr < kUsedBarLimit ? s.snr : kUsedBarLimit;
    const RECT bar = {left, kBarBaseY - h, left + row.width, kBarBaseY};
    if (placed != nullptr) placed->bars.Add(bar);
    if (s.used || row.width < 3) {
      handles::FillSolid(dc, bar, s.used ? usedColor : unusedColor);
    } else {
      handles::FillSolid(dc, bar, unusedColor);
      handles::FillSolid(dc, RECT{bar.left + 1, bar.top + 1, bar.right - 1, bar.bottom - 1}, kWhite);
    }
    if (!values) continue;
    Ch value[8];
    nmea::TextBuilder<Ch> text(value, 8);
    text.AppendInt(s.snr, 1);
    const int slot = left + row.width / 2 - row.pitch / 2;
    const RECT over = {slot, bar.top - row.digits.height, slot + row.pitch, bar.top};
    drawText(dc, value, over, DT_CENTER | DT_SINGLELINE | DT_BOTTOM);
    if (placed != nullptr) placed->texts.Add(over);
  }
}

// Under the bars [first, end) of one system: each number in the system's
// colour where the group's longest fits the pitch, and the group's letter
// in the second row, or in the numbers' own row when they did not fit (the
// handheld has room for one row only).
template <class Ch, class DrawText>
void DrawGroupLabels(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, const BarRow& row,
                     int first, int end, bool stale, ViewPlacement* placed, DrawText drawText) {
  const nmea::GnssSystem system = view.At(row.order[first]).system;
  int longest = 1;
  for (int k = first; k < end; ++k) {
    const int d = DigitCount(view.At(row.order[k]).number);
    if (d > longest) longest = d;
  }
  handles::TextColorScope color(dc, stale ? kGreyedColor : kSystemColors[static_cast<int>(system)]);
  const int numberRowBottom = kBarBaseY + row.digits.height;
  const bool numbers = row.digits.of[longest] + kTextGap <= row.pitch;
  for (int k = first; numbers && k < end; ++k) {
    Ch label[8];
    nmea::TextBuilder<Ch> text(label, 8);
    text.AppendInt(view.At(row.order[k]).number, 1);
    const int centre = layout.barLeft + row.pitch * k + row.width / 2;
    const RECT under = {centre - row.pitch / 2, kBarBaseY, centre - row.pitch / 2 + row.pitch, numberRowBottom};
    drawText(dc, label, under, DT_CENTER | DT_TOP | DT_SINGLELINE);
    if (placed != nullptr) placed->texts.Add(under);
  }
  const int letterTop = numbers ? numberRowBottom : kBarBaseY;
  const RECT group = {layout.barLeft + row.pitch * first, letterTop,
                      layout.barLeft + row.pitch * end - (row.pitch - row.width), letterTop + row.digits.height};
  if (group.right - group.left >= row.digits.of[1] && group.bottom <= layout.labelBottom) {
    Ch letter[2] = {Ch(nmea::SystemLetter(system)), Ch(0)};
    drawText(dc, letter, group, DT_CENTER | DT_TOP | DT_SINGLELINE);
    if (placed != nullptr) placed->texts.Add(group);
  }
}

// The bars in the view's small font, then the numbers and letters under
// each system's group.
template <class Ch, class DrawText>
void DrawAllSystemsBars(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, bool stale,
                        ViewPlacement* placed, DrawText drawText) {
  BarRow row;
  row.count = AllSystemsBarOrder(view, row.order);
  if (row.count == 0) return;
  row.pitch = BarPitch(layout, row.count);
  row.width = BarWidthFor(row.pitch);
  handles::OwnedFont font(CreateViewFont());
  handles::SelectedObject selected(dc, font.get());
  row.digits = MeasureDigits(dc);
  DrawBarsWithValues<Ch>(dc, view, layout, row, stale, placed, drawText);
  for (int first = 0; first < row.count;) {
    const nmea::GnssSystem system = view.At(row.order[first]).system;
    int end = first;
    while (end < row.count && view.At(row.order[end]).system == system) ++end;
    DrawGroupLabels<Ch>(dc, view, layout, row, first, end, stale, placed, drawText);
    first = end;
  }
}

// "No data for N s".
template <class Ch, class DrawText>
void DrawAge(HDC dc, int seconds, const AllSystemsLayout& layout, DrawText drawText) {
  Ch text[32];
  nmea::TextBuilder<Ch> line(text, 32);
  line.AppendAscii("No data for ");
  line.AppendInt(seconds, 1);
  line.AppendAscii(" s");
  if (layout.ageOnSky) {
    handles::OwnedFont font(CreateMarkFont());
    handles::SelectedObject selected(dc, font.get());
    DrawSkyText(dc, text, layout.age, DT_LEFT | DT_BOTTOM | DT_SINGLELINE, false, drawText);
  } else {
    drawText(dc, text, layout.age, DT_LEFT | DT_TOP | DT_SINGLELINE);
  }
}

// The whole view: legend, marks and labels, bars. `reserved` holds what no
// label may cover besides the marks and the legend: the age while it shows,
// the page's controls.
template <class Ch, class DrawText>
void DrawAllSystemsView(HDC dc, const nmea::GnssView& view, const AllSystemsLayout& layout, Obstacles reserved,
                        bool stale, DrawText drawText, ViewPlacement* placed = nullptr) {
  DrawLegend<Ch>(dc, view, layout, stale, reserved, placed, drawText);
  DrawSkyMarks<Ch>(dc, view, layout, reserved, stale, placed, drawText);
  DrawAllSystemsBars<Ch>(dc, view, layout, stale, placed, drawText);
}

}  // namespace trelvane::ui
