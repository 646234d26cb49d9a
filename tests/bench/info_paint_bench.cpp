// Cost of one information-page paint: twelve satellites and a full readout
// drawn into a page-sized 32-bit DIB section, 1,000 times; then the same page
// drawing a 45-satellite view of four systems, fresh and gone stale. Prints
// the median and the 95th percentile of each. Run under Wine:
// wine64 info_paint_bench.exe [count]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop/info_page.hpp"
#include "desktop/resource.h"
#include "tests/bench/paint_runs.hpp"
#include "tests/win/ui/dib_canvas.hpp"

namespace {

using trelvane::desktop::InfoPage;
constexpr int kWidth = trelvane::test::kPageWidth;
constexpr int kHeight = trelvane::test::kPageHeight;

class Discard final : public trelvane::nmea::LogPane<char> {
 public:
  int LineCount() override { return 0; }
  void SetText(const char*) override {}
  void ReplaceSelection(const char*) override {}
};

// "$" + body + its checksum, handed to intake.
void Handle(trelvane::nmea::SentenceIntake<trelvane::nmea::DesktopBuild>& intake, const char* body) {
  unsigned sum = 0;
  for (const char* c = body; *c != 0; ++c) sum ^= static_cast<unsigned char>(*c);
  char line[160];
  std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum & 0xFFu);
  intake.HandleSentence(line);
}

void Measure(const InfoPage& page, HDC dc, int count, const char* what) {
  char label[96];
  std::snprintf(label, sizeof label, "info page paint, %s", what);
  trelvane::bench::TimePaintRuns(count, label, [&] { page.Paint(dc, kWidth, kHeight); });
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;

  static InfoPage page;
  page.skyBitmap.Reset(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKY)));
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
  Measure(page, canvas.dc(), count, "twelve $GP satellites");

  // Forty-five satellites of four systems, as a multi-system receiver sends them.
  static Discard log;
  static trelvane::nmea::SentenceIntake<trelvane::nmea::DesktopBuild> intake(log, page.record, page.satellites, {});
  const char* talkers[] = {"GP", "GL", "GA", "GB"};
  const int counts[] = {12, 11, 12, 10};
  const int firstNumber[] = {2, 65, 1, 21};
  for (int t = 0; t < 4; ++t) {
    const int messages = (counts[t] + 3) / 4;
    for (int m = 0; m < messages; ++m) {
      char body[128];
      int n = std::snprintf(body, sizeof body, "%sGSV,%d,%d,%02d", talkers[t], messages, m + 1, counts[t]);
      for (int i = m * 4; i < counts[t] && i < m * 4 + 4; ++i) {
        n += std::snprintf(body + n, sizeof body - static_cast<size_t>(n), ",%02d,%02d,%03d,%02d",
                           firstNumber[t] + i, 10 + 7 * i, (90 * t + 8 * i) % 360, 20 + 3 * i);
      }
      Handle(intake, body);
    }
  }
  Handle(intake, "GNGSA,A,3,02,03,04,05,,,,,,,,,1.8,1.0,1.5,1");
  page.intake = &intake;
  Measure(page, canvas.dc(), count, "a 45-satellite view of four systems");
  page.age.LinkOpened(0);
  page.age.Tick(5000);
  Measure(page, canvas.dc(), count, "the same view gone stale, with its age");

  page.skyBitmap.Reset();
  return 0;
}
