// Times a piece of drawing work `count` times (each run ended by GdiFlush, so
// that the system's batched drawing counts) and prints the median, the 95th
// percentile and the longest, in milliseconds.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace trelvane::bench {

template <class Work>
void TimePaintRuns(int count, const char* what, Work work) {
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

}  // namespace trelvane::bench
