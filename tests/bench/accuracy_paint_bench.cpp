// Cost of one accuracy-page paint of a full ring of 100,000 fixes (plot,
// circles, ellipse, legend) into a 32-bit DIB, 1,000 times; and of making the
// frame it paints (figures and raster), which happens at most once a second.
// Prints the median and the 95th percentile of each. Run under Wine:
// wine64 accuracy_paint_bench.exe [count]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "desktop/accuracy_layout.hpp"
#include "monitor/accuracy.hpp"
#include "monitor/scatter_raster.hpp"
#include "tests/bench/full_fix_ring.hpp"
#include "tests/bench/paint_runs.hpp"
#include "tests/win/ui/dib_canvas.hpp"
#include "ui/accuracy_page.hpp"

using namespace trelvane;

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  static monitor::FixRecord record;
  bench::FillFixRing(record);
  nmea::GstReport gst;
  gst.semiMajor = {2.5, true};
  gst.semiMinor = {1.5, true};
  gst.orientation = {30, true};
  record.TakeGst(gst);

  static monitor::AccuracyFigures figures;
  static monitor::ScatterFrame frame;
  static ui::AccuracyPage<char> page(desktop::kAccuracyLayout);
  bench::TimePaintRuns(count / 10 + 1, "accuracy figures and raster of 100,000 fixes", [&] {
    record.Compute(figures);
    monitor::FrameScatter(record, figures, page.PlotSize(), page.Dot(), frame);
  });
  page.Show(frame);
  test::Canvas canvas;
  bench::TimePaintRuns(count, "accuracy page paint, 100,000 fixes", [&] { page.Paint(canvas.dc()); });
  page.SetStale(true);
  bench::TimePaintRuns(count, "the same gone stale", [&] { page.Paint(canvas.dc()); });
  return 0;
}
