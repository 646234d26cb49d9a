// The accuracy figures over a full ring of 100,000 fixes, and the plot's
// raster made from them: each is worked out at most once a second while
// fixes come in.
//
//   build/native/tests/bench/accuracy_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include "monitor/accuracy.hpp"
#include "monitor/scatter_raster.hpp"
#include "tests/bench/full_fix_ring.hpp"

namespace {

using namespace trelvane;

monitor::FixRecord& FullRing() {
  static monitor::FixRecord record;
  if (record.Count() == 0) bench::FillFixRing(record);
  return record;
}

void Figures(benchmark::State& state) {
  monitor::FixRecord& record = FullRing();
  monitor::AccuracyFigures figures;
  for (auto _ : state) {
    record.Compute(figures);
    benchmark::DoNotOptimize(figures.cep95);
  }
  state.SetItemsProcessed(state.iterations() * monitor::kFixesKept);
}
BENCHMARK(Figures)->Unit(benchmark::kMillisecond);

// The desktop's plot: 280 pixels square, dots of three.
void Raster(benchmark::State& state) {
  monitor::FixRecord& record = FullRing();
  monitor::AccuracyFigures figures;
  record.Compute(figures);
  monitor::ScatterFrame frame;
  for (auto _ : state) {
    monitor::FrameScatter(record, figures, 280, 3, frame);
    benchmark::DoNotOptimize(frame.cells.data());
  }
  state.SetItemsProcessed(state.iterations() * monitor::kFixesKept);
}
BENCHMARK(Raster)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
