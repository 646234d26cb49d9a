// The charts drawn into 32-bit pixels (0x00RRGGBB, rows top down, as a DIB
// section holds them): traces over a span of the history that ends at a
// chosen sample. A trace is drawn per pixel column, never per sample: the
// samples of one column give a vertical stroke from their least to their
// greatest value, and a line joins it to the column before, unless more than
// kHistoryGapSeconds of receiver time lie between them. A day of 64
// satellites is one pass over the samples.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "monitor/history.hpp"

namespace trelvane::monitor {

constexpr std::uint32_t ChartRgb(int r, int g, int b) {
  return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

// A rectangle of pixels: left and top inside, right and bottom just past.
struct ChartArea {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

class ChartCanvas {
 public:
  ChartCanvas(std::uint32_t* pixels, int width, int height) : pixels_(pixels), width_(width), height_(height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t At(int x, int y) const { return pixels_[y * width_ + x]; }

  void Fill(ChartArea area, std::uint32_t color) {
    Clip(area);
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) pixels_[y * width_ + x] = color;
    }
  }
  // From row y0 to row y1, both drawn, in either order.
  void Vertical(int x, int y0, int y1, std::uint32_t color) {
    if (x < 0 || x >= width_) return;
    if (y0 > y1) std::swap(y0, y1);
    if (y0 < 0) y0 = 0;
    if (y1 >= height_) y1 = height_ - 1;
    for (int y = y0; y <= y1; ++y) pixels_[y * width_ + x] = color;
  }
  void Horizontal(int x0, int x1, int y, std::uint32_t color) {
    if (y < 0 || y >= height_) return;
    if (x0 > x1) std::swap(x0, x1);
    if (x0 < 0) x0 = 0;
    if (x1 >= width_) x1 = width_ - 1;
    for (int x = x0; x <= x1; ++x) pixels_[y * width_ + x] = color;
  }
  // Both ends drawn.
  void Line(int x0, int y0, int x1, int y1, std::uint32_t color) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
      if (x0 >= 0 && x0 < width_ && y0 >= 0 && y0 < height_) pixels_[y0 * width_ + x0] = color;
      if (x0 == x1 && y0 == y1) return;
      const int twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        x0 += sx;
      }
      if (twice <= dx) {
        error += dx;
        y0 += sy;
      }
    }
  }

 private:
  void Clip(ChartArea& area) const {
    if (area.left < 0) area.left = 0;
    if (area.top < 0) area.top = 0;
    if (area.right > width_) area.right = width_;
    if (area.bottom > height_) area.bottom = height_;
  }
  std::uint32_t* pixels_;
  int width_, height_;
};

// The samples a chart shows: those of the `seconds` before the end sample's
// second, the end included.
struct ChartSpan {
  std::int64_t endSecond = 0;
  std::int64_t seconds = 300;
  int first = 0;
  int last = -1;  // -1: nothing to show
  bool Empty() const { return last < first; }
};

inline ChartSpan SpanOf(const History& history, int last, std::int64_t seconds) {
  ChartSpan span;
  span.seconds = seconds;
  if (last < 0 || last >= history.Count()) return span;
  span.last = last;
  span.endSecond = history.At(last).second;
  // The first sample inside: a binary search, the samples being in order.
  int low = 0, high = last;
  while (low < high) {
    const int mid = (low + high) / 2;
    if (history.At(mid).second > span.endSecond - seconds) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  span.first = low;
  return span;
}

// The column of `second`: the span's start at the area's left, its end at
// the last column.
inline int ColumnOf(const ChartArea& area, const ChartSpan& span, std::int64_t second) {
  const std::int64_t fromStart = second - (span.endSecond - span.seconds);
  return area.left + static_cast<int>(fromStart * (area.Width() - 1) / span.seconds);
}

// The row of `value` on a scale from `low` (the area's bottom row) to `high`
// (its top row), clipped to the area.
inline int RowOf(const ChartArea& area, double value, double low, double high) {
  const double share = (value - low) / (high - low);
  const double clipped = share < 0 ? 0 : share > 1 ? 1 : share;
  return area.bottom - 1 - static_cast<int>(std::lround(clipped * (area.Height() - 1)));
}

// One trace, a column at a time.
class ChartPen {
 public:
  void Add(ChartCanvas& canvas, int x, int y, std::int64_t second, std::uint32_t color, bool thick) {
    if (has_ && x == x_) {  // most samples of a long span: the column grows
      if (y < low_) low_ = y;
      if (y > high_) high_ = y;
      thick_ = thick_ || thick;
    } else {
      const bool joined = has_ && second - lastSecond_ <= static_cast<std::int64_t>(kHistoryGapSeconds);
      Flush(canvas, color);
      if (joined) {
        canvas.Line(x_, last_, x, y, color);
        if (thick_ || thick) canvas.Line(x_, last_ + 1, x, y + 1, color);
      }
      x_ = x;
      low_ = high_ = y;
      thick_ = thick;
      has_ = true;
    }
    last_ = y;
    lastSecond_ = second;
  }
  void Flush(ChartCanvas& canvas, std::uint32_t color) {
    if (!has_) return;
    canvas.Vertical(x_, low_, high_, color);
    if (thick_) canvas.Vertical(x_ + 1, low_, high_ + 1, color);
  }
  void Reset() { has_ = false; }

 private:
  std::int64_t lastSecond_ = 0;
  int x_ = 0, low_ = 0, high_ = 0, last_ = 0;
  bool has_ = false;
  bool thick_ = false;
};

// Every satellite's C/N0, 0 dB-Hz at the bottom to 60 at the top, in its
// system's colour; a satellite's trace is thicker where it was used. Each
// column's samples only widen each satellite's least and greatest C/N0 (a
// few bytes a satellite); the strokes are drawn as the column closes.
inline void DrawCn0(ChartCanvas& canvas, const ChartArea& area, const History& history, const ChartSpan& span,
                    const std::uint32_t (&systemColors)[nmea::kGnssSystems]) {
  if (span.Empty()) return;
  constexpr int kSlots = 256;
  struct Column {
    std::uint8_t low[kSlots], high[kSlots], first[kSlots], last[kSlots];
    bool seen[kSlots], used[kSlots], joined[kSlots];
    std::uint8_t slots[kSlots];
    int count;
  };
  static Column column;
  static std::int64_t lastSecond[kSlots];
  static int lastX[kSlots];
  static int lastRow[kSlots];
  std::uint32_t colors[kSlots];
  for (int slot = 0; slot < history.Slots(); ++slot) {
    colors[slot] = systemColors[static_cast<int>(nmea::CodeSystem(history.SlotCode(slot)))];
    lastX[slot] = -1;
    column.seen[slot] = false;
  }
  int rows[128];
  for (int cn0 = 0; cn0 < 128; ++cn0) rows[cn0] = RowOf(area, cn0, 0, 60);
  column.count = 0;
  int x = -1;
  const auto close = [&] {
    for (int k = 0; k < column.count; ++k) {
      const int slot = column.slots[k];
      column.seen[slot] = false;
      const std::uint32_t color = colors[slot];
      const int first = rows[column.first[slot]];
      if (column.joined[slot]) {
        canvas.Line(lastX[slot], lastRow[slot], x, first, color);
        if (column.used[slot]) canvas.Line(lastX[slot], lastRow[slot] + 1, x, first + 1, color);
      }
      canvas.Vertical(x, rows[column.low[slot]], rows[column.high[slot]], color);
      if (column.used[slot]) canvas.Vertical(x + 1, rows[column.low[slot]], rows[column.high[slot]] + 1, color);
      lastX[slot] = x;
      lastRow[slot] = rows[column.last[slot]];
    }
    column.count = 0;
  };
  for (int i = span.first; i <= span.last; ++i) {
    const HistorySample& sample = history.At(i);
    const int sampleX = ColumnOf(area, span, sample.second);
    if (sampleX != x) {
      close();
      x = sampleX;
    }
    for (int k = 0; k < sample.count; ++k) {
      const HistorySatellite satellite = sample.satellites[k];
      const int slot = satellite.slot;
      const std::uint8_t cn0 = static_cast<std::uint8_t>(satellite.Cn0());
      if (!column.seen[slot]) {
        column.seen[slot] = true;
        column.slots[column.count++] = static_cast<std::uint8_t>(slot);
        column.low[slot] = column.high[slot] = column.first[slot] = cn0;
        column.used[slot] = satellite.Used();
        column.joined[slot] = lastX[slot] >= 0 && sample.second - lastSecond[slot] <= static_cast<std::int64_t>(kHistoryGapSeconds);
      } else {
        if (cn0 < column.low[slot]) column.low[slot] = cn0;
        if (cn0 > column.high[slot]) column.high[slot] = cn0;
        column.used[slot] = column.used[slot] || satellite.Used();
      }
      column.last[slot] = cn0;
      lastSecond[slot] = sample.second;
    }
  }
  close();
}

// One value a second (NaN: none that second) on a scale from `low` to `high`.
template <class Value>
void DrawSeries(ChartCanvas& canvas, const ChartArea& area, const History& history, const ChartSpan& span, Value value,
                double low, double high, std::uint32_t color) {
  if (span.Empty()) return;
  ChartPen pen;
  for (int i = span.first; i <= span.last; ++i) {
    const HistorySample& sample = history.At(i);
    const double v = value(sample);
    if (std::isnan(v)) continue;
    pen.Add(canvas, ColumnOf(area, span, sample.second), RowOf(area, v, low, high), sample.second, color, false);
  }
  pen.Flush(canvas, color);
}

// The least and greatest of a value over the span; false when it has none.
template <class Value>
bool RangeOf(const History& history, const ChartSpan& span, Value value, double& low, double& high) {
  bool any = false;
  for (int i = span.first; i <= span.last && !span.Empty(); ++i) {
    const double v = value(history.At(i));
    if (std::isnan(v)) continue;
    if (!any || v < low) low = v;
    if (!any || v > high) high = v;
    any = true;
  }
  return any;
}

// The fix quality as a band along the area: each column the colour of its
// worst second, the columns between two seconds joined in the colour of the
// first; nothing across a gap.
inline void DrawFixBand(ChartCanvas& canvas, const ChartArea& area, const History& history, const ChartSpan& span,
                        const std::uint32_t (&bandColors)[5]) {
  if (span.Empty()) return;
  int x = -1;
  int worst = 0;
  std::int64_t lastSecond = 0;
  for (int i = span.first; i <= span.last; ++i) {
    const HistorySample& sample = history.At(i);
    const int column = ColumnOf(area, span, sample.second);
    const int band = static_cast<int>(BandOf(sample.quality));
    if (column == x) {
      if (band < worst) worst = band;
    } else {
      const bool joined = x >= 0 && sample.second - lastSecond <= static_cast<std::int64_t>(kHistoryGapSeconds);
      if (x >= 0) canvas.Fill({x, area.top, joined ? column : x + 1, area.bottom}, bandColors[worst]);
      x = column;
      worst = band;
    }
    lastSecond = sample.second;
  }
  if (x >= 0) canvas.Fill({x, area.top, x + 1, area.bottom}, bandColors[worst]);
}

}  // namespace trelvane::monitor
