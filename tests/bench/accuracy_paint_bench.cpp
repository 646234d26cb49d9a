// Cost of one accuracy-page paint of a full ring of 100,000 fixes (plot,
// circles, ellipse, legend) into a 32-bit DIB, 1,000 times; and of making the
// frame it paints (figures and raster), which happens at most once a second.
// Prints the median and the 95th percentile of each. Run under Wine:
// wine64 accuracy_paint_bench.exe [count]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "desktop/main_window.hpp"
#include "monitor/accuracy.hpp"
#include "monitor/scatter_raster.hpp"
#include "tests/bench/full_fix_ring.hpp"
#include "tests/win/ui/dib_canvas.hpp"
#include "ui/accuracy_page.hpp"

namespace {

using namespace trelvane;

template <class Work>
void Measure(int count, const char* what, Work work) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  ms.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    work();
    GdiFlush();
    QueryPerformanceCounter(&end);
    ms.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%s, %d runs: median %.3f ms, p95 %.3f ms, max %.3f ms\n", what, count, ms[ms.size() / 2],
              ms[ms.size() * 95 / 100], ms.back());
}

}  // namespace

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
  Measure(count / 10 + 1, "accuracy figures and raster of 100,000 fixes", [&] {
    record.Compute(figures);
    monitor::FrameScatter(record, figures, page.PlotSize(), page.Dot(), frame);
  });
  page.Show(frame);
  test::Canvas canvas;
  Measure(count, "accuracy page paint, 100,000 fixes", [&] { page.Paint(canvas.dc()); });
  page.SetStale(true);
  Measure(count, "the same gone stale", [&] { page.Paint(canvas.dc()); });
  return 0;
}
