// Cost of one information-page paint: twelve satellites and a full readout
// drawn into a page-sized 32-bit DIB section, 1,000 times; prints the median
// and the 95th percentile. Run under Wine: wine64 info_paint_bench.exe [count]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "desktop/info_page.hpp"
#include "desktop/resource.h"
#include "tests/win/ui/dib_canvas.hpp"

int main(int argc, char** argv) {
  using trelvane::desktop::InfoPage;
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  constexpr int kWidth = trelvane::test::kPageWidth;
  constexpr int kHeight = trelvane::test::kPageHeight;

  static InfoPage page;
  page.skyBitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKY));
  const char* texts[] = {"2018/08/20", "09:47:37", "230.5", "10.37", "3D", "0.60", "1.10",
                         "N", "52\xA2X51.0093'", "E", "005\xA2X18.8170'"};
  char* fields[] = {page.record.date,       page.record.utc,       page.record.direction, page.record.speed,
                    page.record.status,     page.record.hdop,      page.record.pdop,      page.record.northSouth,
                    page.record.latitude,   page.record.eastWest,  page.record.longitude};
  for (int i = 0; i < 11; ++i) std::strcpy(fields[i], texts[i]);
  for (int i = 0; i < 12; ++i) {
    auto& entry = page.satellites.entries[i];
    std::snprintf(entry.prn, sizeof entry.prn, "%d", 3 + 5 * i);
    entry.inUse = static_cast<std::uint8_t>(i % 3 != 0);
    entry.snr = 20 + 3 * i;
    entry.plotX = 20 + 10 * i;
    entry.plotY = 120 - 8 * i;
  }
  page.satellites.satellitesInView = 12;

  trelvane::test::Canvas canvas;
  HDC dc = canvas.dc();

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  ms.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    page.Paint(dc, kWidth, kHeight);
    GdiFlush();
    QueryPerformanceCounter(&end);
    ms.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("info page paint, %d runs: median %.3f ms, p95 %.3f ms, max %.3f ms\n", count, ms[ms.size() / 2],
              ms[ms.size() * 95 / 100], ms.back());

  DeleteObject(page.skyBitmap);
  return 0;
}
