// The charts drawn over a day of 64 satellites in view: the C/N0 chart and
// the whole desktop set (C/N0, satellites, DOPs, the fix band and the
// altitude), at the desktop's chart sizes. The page draws them at most once
// a second while its tab shows, and a paint copies what they drew.
//
//   build/native/tests/bench/chart_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "monitor/chart_raster.hpp"
#include "tests/native/monitor/day_history.hpp"

namespace {

using namespace trelvane;

const monitor::History& Day() {
  static monitor::History history;
  if (history.Count() == 0) trelvane::testing::FillDay(history);
  return history;
}

constexpr std::uint32_t kSystems[nmea::kGnssSystems] = {1, 2, 3, 4, 5, 6, 7};

void Cn0Day(benchmark::State& state) {
  const monitor::History& history = Day();
  std::vector<std::uint32_t> pixels(560 * 150);
  monitor::ChartCanvas canvas(pixels.data(), 560, 150);
  const monitor::ChartSpan span = monitor::SpanOf(history, history.Count() - 1, 86400);
  for (auto _ : state) {
    monitor::DrawCn0(canvas, {40, 0, 560, 150}, history, span, kSystems);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(Cn0Day)->Unit(benchmark::kMillisecond);

void AllChartsDay(benchmark::State& state) {
  const monitor::History& history = Day();
  std::vector<std::uint32_t> pixels(560 * 150);
  monitor::ChartCanvas canvas(pixels.data(), 560, 150);
  const monitor::ChartSpan span = monitor::SpanOf(history, history.Count() - 1, 86400);
  const monitor::ChartArea plot{40, 0, 560, 80};
  const std::uint32_t bands[5] = {1, 2, 3, 4, 5};
  for (auto _ : state) {
    monitor::DrawCn0(canvas, {40, 0, 560, 150}, history, span, kSystems);
    monitor::DrawSeries(canvas, plot, history, span, [](const monitor::HistorySample& s) { return static_cast<double>(s.used); }, 0, 64, 1);
    monitor::DrawSeries(canvas, plot, history, span, [](const monitor::HistorySample& s) { return static_cast<double>(s.inView); }, 0, 64, 2);
    monitor::DrawSeries(canvas, plot, history, span, [](const monitor::HistorySample& s) { return static_cast<double>(s.hdop); }, 0, 10, 3);
    monitor::DrawSeries(canvas, plot, history, span, [](const monitor::HistorySample& s) { return static_cast<double>(s.pdop); }, 0, 10, 4);
    monitor::DrawFixBand(canvas, {40, 80, 560, 90}, history, span, bands);
    double low = 0, high = 0;
    const auto altitude = [](const monitor::HistorySample& s) { return static_cast<double>(s.altitude); };
    monitor::RangeOf(history, span, altitude, low, high);
    monitor::DrawSeries(canvas, plot, history, span, altitude, low, high, 5);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(AllChartsDay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
