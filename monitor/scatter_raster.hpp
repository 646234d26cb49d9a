// The accuracy page's scatter as a raster: each kept fix marks the cells of
// its dot with its quality, oldest first, so the newest lies on top and a
// pixel that many fixes share is drawn once. A paint then copies the raster
// in one go instead of making a drawing call per fix.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "monitor/accuracy.hpp"

namespace trelvane::monitor {

// The plot's radius in metres: the value of the 1-2-5 series nearest (by
// ratio) to twice CEP95, so that the CEP95 circle fills about half of it.
// From 1 cm to 5,000 km; 10 m with no figures yet.
inline double PlotRadiusMetres(double cep95) {
  if (!(cep95 > 0)) return 10.0;
  const double wanted = 2.0 * cep95;
  double best = 0.01;
  for (double decade : {0.01, 0.1, 1.0, 10.0, 100.0, 1e3, 1e4, 1e5, 1e6}) {
    for (double step : {1.0, 2.0, 5.0}) {
      const double radius = decade * step;
      if (std::fabs(std::log(radius / wanted)) < std::fabs(std::log(best / wanted))) best = radius;
    }
  }
  return best;
}

// The 1-2-5 value as the scale's label: "5 m", "20 cm", "2 km".
inline void FormatPlotRadius(double metres, char* text, int capacity) {
  const auto cap = static_cast<std::size_t>(capacity);
  if (metres < 1.0) {
    std::snprintf(text, cap, "%.0f cm", metres * 100.0);
  } else if (metres < 1000.0) {
    std::snprintf(text, cap, "%.0f m", metres);
  } else {
    std::snprintf(text, cap, "%.0f km", metres / 1000.0);
  }
}

// Cell values: 0 empty, otherwise the fix's quality + 1.
constexpr std::uint8_t kEmptyCell = 0;

// Fills `cells` (size x size, rows from the top) with the fixes of `record`
// about the figures' centre, `radiusMetres` from the middle to each edge.
// Each fix is a square dot `dot` cells wide; what falls outside is left out.
inline void RasterizeFixes(const FixRecord& record, const AccuracyFigures& figures, double radiusMetres, int size,
                           int dot, std::uint8_t* cells) {
  std::memset(cells, kEmptyCell, static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  if (figures.fixes == 0 || size <= 0 || !(radiusMetres > 0)) return;
  const double half = size / 2.0;
  const double cellsPerMetre = half / radiusMetres;
  const int reach = dot / 2;
  record.EachFix([&](const Fix& fix) {
    const double x = half + figures.plane.East(fix) * cellsPerMetre;
    const double y = half - figures.plane.North(fix) * cellsPerMetre;
    if (!(x >= 0 && x < size && y >= 0 && y < size)) return;  // also drops a fix far beyond any int
    const int column = static_cast<int>(x) - reach;
    const int row = static_cast<int>(y) - reach;
    const auto value = static_cast<std::uint8_t>(fix.quality + 1);
    for (int r = row < 0 ? 0 : row; r < row + dot && r < size; ++r) {
      std::uint8_t* line = cells + static_cast<std::ptrdiff_t>(r) * size;
      for (int c = column < 0 ? 0 : column; c < column + dot && c < size; ++c) line[c] = value;
    }
  });
}

// What the accuracy page draws and writes, worked out when the figures
// change (at most once a second) so that a paint only copies it.
struct ScatterFrame {
  int size = 0;                     // the plot's side in pixels
  std::vector<std::uint8_t> cells;  // size x size, allocated once per size
  double radiusMetres = 10;
  char scale[16] = {};              // the radius as the plot labels it
  bool circles = false;             // there are fixes, and so CEP50 and CEP95
  double cep50 = 0, cep95 = 0;
  bool ellipse = false;             // the last GST's sigmas, about the newest fix
  double semiMajor = 0, semiMinor = 0, orientationDegrees = 0;
  double ellipseEast = 0, ellipseNorth = 0;
  AccuracyTexts texts = {};
};

inline void FrameScatter(const FixRecord& record, const AccuracyFigures& figures, int size, int dot,
                         ScatterFrame& frame) {
  if (frame.size != size) frame.cells.assign(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0);
  frame.size = size;
  frame.radiusMetres = PlotRadiusMetres(figures.cep95);
  FormatPlotRadius(frame.radiusMetres, frame.scale, sizeof frame.scale);
  RasterizeFixes(record, figures, frame.radiusMetres, size, dot, frame.cells.data());
  frame.circles = figures.fixes > 0;
  frame.cep50 = figures.cep50;
  frame.cep95 = figures.cep95;
  const nmea::GstReport& gst = figures.gst;
  frame.ellipse = figures.fixes > 0 && figures.hasGst && gst.semiMajor.present && gst.semiMinor.present;
  frame.semiMajor = gst.semiMajor.value;
  frame.semiMinor = gst.semiMinor.value;
  frame.orientationDegrees = gst.orientation.present ? gst.orientation.value : 0;
  frame.ellipseEast = figures.newestEast;
  frame.ellipseNorth = figures.newestNorth;
  FormatAccuracyTexts(figures, frame.texts);
}

}  // namespace trelvane::monitor
