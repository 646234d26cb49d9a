// The accuracy page's paint on a real DIB, both builds' layouts: each quality
// in its colour with the newest fix on top, the GST's ellipse, grey once the
// data is old, and every GDI object given back.
#include <windows.h>

#include <gtest/gtest.h>

#include "desktop/accuracy_layout.hpp"
#include "monitor/accuracy.hpp"
#include "pocket/accuracy_layout.hpp"
#include "monitor/scatter_raster.hpp"
#include "tests/native/monitor/fix_support.hpp"
#include "tests/win/ui/dib_canvas.hpp"
#include "ui/accuracy_page.hpp"
#include "ui/all_systems_view.hpp"
#include "handles/gdi.hpp"

namespace {

using namespace trelvane;
using trelvane::testing::Gga;
using trelvane::testing::HoldAt;

template <class Ch>
void ExpectPaint(const ui::AccuracyLayout& layout) {
  // Held at (10, 20): GPS then RTK fixed there, DGPS a metre north-east, and
  // twenty RTK float fixes two metres south, so that no circle runs
  // through the others.
  monitor::FixRecord record;
  HoldAt(record, 10.0, 20.0);
  const monitor::TangentPlane plane = monitor::TangentPlane::At(10.0, 20.0);
  record.TakeGga(Gga(10.0, 20.0, 1));
  record.TakeGga(Gga(10.0, 20.0, 4));
  record.TakeGga(Gga(10.0 + 0.7 / plane.northPerDegree, 20.0 + 0.7 / plane.eastPerDegree, 2));
  for (int i = 0; i < 20; ++i) record.TakeGga(Gga(10.0 - 2.0 / plane.northPerDegree, 20.0, 5));
  nmea::GstReport gst;
  gst.semiMajor = {1.0, true};
  gst.semiMinor = {0.5, true};
  gst.orientation = {45.0, true};
  record.TakeGst(gst);
  monitor::AccuracyFigures figures;
  record.Compute(figures);
  monitor::ScatterFrame frame;
  ui::AccuracyPage<Ch> page(layout);
  monitor::FrameScatter(record, figures, page.PlotSize(), page.Dot(), frame);
  page.Show(frame);

  test::Canvas canvas;
  const long live = handles::GdiCensus::Live();  // the page's own font, where it has one
  for (bool stale : {false, true}) {
    page.SetStale(stale);
    page.Paint(canvas.dc());
    auto inPlot = [&](COLORREF color) { return canvas.Count(layout.plot, color); };
    SCOPED_TRACE(stale ? "stale" : "fresh");
    EXPECT_EQ(inPlot(ui::kQualityColors[nmea::kQualityGps]), 0) << "the GPS fix lies under the newer RTK fix";
    for (int quality : {nmea::kQualityRtkFixed, nmea::kQualityDgps, nmea::kQualityRtkFloat}) {
      EXPECT_EQ(inPlot(ui::kQualityColors[quality]) > 0, !stale) << "quality " << quality;
    }
    EXPECT_EQ(inPlot(ui::kEllipseColor) > 0, !stale);
    EXPECT_EQ(inPlot(ui::kStaleColor) > 0, stale);
    EXPECT_EQ(handles::GdiCensus::Live(), live) << "the paint kept GDI objects";
  }
}

TEST(AccuracyPaint, DesktopLayout) { ExpectPaint<char>(desktop::kAccuracyLayout); }

TEST(AccuracyPaint, HandheldLayout) { ExpectPaint<wchar_t>(pocket::kAccuracyLayout); }

}  // namespace
