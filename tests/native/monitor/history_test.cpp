// The charts' history: a sample a second of receiver time, the second's worst
// DOPs and quality and its mean C/N0 (at 10 Hz too), the oldest dropping off
// after a day within its memory, and a played file's history up to any byte
// the same as a reading of the file up to there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "monitor/chart_raster.hpp"
#include "monitor/history_csv.hpp"
#include "monitor/history_feed.hpp"
#include "tests/native/monitor/day_history.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/monitor/string_out.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::monitor {
namespace {

using testing::Sentence;

using testing::StringOut;

std::string Series(const History& history, bool perSatellite = false) {
  StringOut out;
  if (perSatellite) {
    WriteCn0(history, out);
  } else {
    WriteSeries(history, out);
  }
  return out.text;
}

void Feed(HistoryFeed& feed, const std::string& bytes) {
  feed.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// One fix cycle at `time`: RMC (dated), GGA of `quality`, a GSA of `hdop`
// that uses satellite 5, and a GSV of satellites 5 and 7 at `snr5`, 30.
std::string Cycle(const char* time, int quality, const char* hdop, int snr5) {
  char gga[128], gsa[96], gsv[96];
  std::snprintf(gga, sizeof gga, "GPGGA,%s,4807.0380,N,01131.0000,E,%d,08,%s,545.4,M,46.9,M,,", time, quality, hdop);
  std::snprintf(gsa, sizeof gsa, "GPGSA,A,3,05,,,,,,,,,,,,2.0,%s,1.0", hdop);
  std::snprintf(gsv, sizeof gsv, "GPGSV,1,1,02,05,40,083,%02d,07,20,150,30", snr5);
  return Sentence(std::string("GPRMC,") + time + ",A,4807.0380,N,01131.0000,E,0.0,0.0,091226,,") + Sentence(gga) +
         Sentence(gsa) + Sentence(gsv);
}

TEST(History, ASecondOfTenCyclesKeepsItsWorstAndItsMeans) {
  History history;
  HistoryFeed feed(history);
  std::string stream;
  // Ten cycles in 10:00:00; one DGPS cycle at 0.3 and one without a fix at
  // 0.7: the worst is no fix. The HDOP peaks at 0.5.
  for (int tenth = 0; tenth < 10; ++tenth) {
    char time[16];
    std::snprintf(time, sizeof time, "100000.%d0", tenth);
    stream += Cycle(time, tenth == 7 ? 0 : tenth == 3 ? 2 : 4, tenth == 5 ? "3.5" : "0.8", 40 + tenth);
  }
  // 10:00:01 alone, then a gap of 9 s to 10:00:10.
  stream += Cycle("100001.00", 4, "0.7", 20) + Cycle("100010.00", 5, "0.6", 21);
  Feed(feed, stream);
  feed.Finish();
  EXPECT_EQ(Series(history),
            "utc,used,in_view,hdop,pdop,quality,alt_m\r\n"
            "2026-12-09T10:00:00Z,1,2,3.5,2,0,545.4\r\n"
            "2026-12-09T10:00:01Z,1,2,0.7,2,4,545.4\r\n"
            "2026-12-09T10:00:10Z,1,2,0.6,2,5,545.4\r\n");
  // Satellite 5's mean over the second is 44.5, rounded up; 7's is 30.
  EXPECT_EQ(Series(history, true),
            "utc,system,prn,cn0,used\r\n"
            "2026-12-09T10:00:00Z,G,5,45,1\r\n2026-12-09T10:00:00Z,G,7,30,0\r\n"
            "2026-12-09T10:00:01Z,G,5,20,1\r\n2026-12-09T10:00:01Z,G,7,30,0\r\n"
            "2026-12-09T10:00:10Z,G,5,21,1\r\n2026-12-09T10:00:10Z,G,7,30,0\r\n");
  EXPECT_EQ(BandOf(history.At(0).quality), FixBand::kNone);
}

TEST(History, ADayOfSixtyFourSatellitesDropsItsOldestWithinItsMemory) {
  History history;
  testing::FillDay(history, 10);
  ASSERT_EQ(history.Count(), kHistorySeconds);
  EXPECT_EQ(history.At(0).second, DaysFromCivil(2026, 12, 9) * 86400 + 10);
  EXPECT_EQ(history.Last().second, DaysFromCivil(2026, 12, 10) * 86400 + 9);
  EXPECT_EQ(history.Last().inView, 64);
  EXPECT_EQ(history.Last().count, 64);
  EXPECT_LT(history.Bytes(), 16u << 20);
}

// A played file's history, cut at a byte, is what a reading of the file up
// to that byte gives: the charts right after a seek end at the place sought
// and show what a whole reading to there shows.
TEST(History, UpToAnyByteItIsWhatAReadingUpToThatByteGives) {
  const std::string bytes = testing::ReadCapture("multi/ublox-zed-f9p-nmea.log");
  History whole;
  HistoryFeed wholeFeed(whole);
  Feed(wholeFeed, bytes);
  wholeFeed.Finish();
  ASSERT_EQ(whole.Count(), 29);
  for (const double share : {0.1, 0.33, 0.5, 0.9, 1.0}) {
    SCOPED_TRACE(share);
    const std::uint64_t offset = static_cast<std::uint64_t>(static_cast<double>(bytes.size()) * share);
    History part;
    HistoryFeed partFeed(part);
    Feed(partFeed, bytes.substr(0, offset));
    if (offset == bytes.size()) partFeed.Finish();  // the file ends there
    const int last = whole.LastAtOffset(offset);
    ASSERT_EQ(last + 1, part.Count());
    for (int i = 0; i < part.Count(); ++i) {
      EXPECT_EQ(whole.At(i).second, part.At(i).second);
      EXPECT_EQ(whole.At(i).count, part.At(i).count);
      EXPECT_EQ(whole.At(i).hdop, part.At(i).hdop);
    }
  }
}

// Drawn per pixel column: a trace and the fix band break where more than 5 s
// of receiver time are missing and nowhere else, and a chart ends at the
// sample it is asked to end at.
TEST(ChartRaster, ATraceAndTheFixBandBreakAtAGapOfMoreThanFiveSeconds) {
  History history;
  HistoryFeed feed(history);
  std::string stream;
  // 10:00:00 to 10:00:20, 10:00:25 (5 s on: joined), then 10:00:40 (a gap).
  for (int s = 0; s <= 20; ++s) {
    char time[16];
    std::snprintf(time, sizeof time, "1000%02d.00", s);
    stream += Cycle(time, 4, "1.0", 30);
  }
  stream += Cycle("100025.00", 4, "1.0", 30) + Cycle("100040.00", 2, "1.0", 30) + Cycle("100041.00", 2, "1.0", 30);
  Feed(feed, stream);
  feed.Finish();
  ASSERT_EQ(history.Count(), 24);
  constexpr int kWidth = 61, kHeight = 20;
  std::vector<std::uint32_t> pixels(kWidth * kHeight, 0);
  ChartCanvas canvas(pixels.data(), kWidth, kHeight);
  const ChartArea plot{0, 0, kWidth, 10}, band{0, 10, kWidth, 20};
  // 60 s over 61 columns: a column a second, 09:59:41 at column 0.
  const ChartSpan span = SpanOf(history, history.Count() - 1, 60);
  EXPECT_EQ(span.first, 0);
  const std::uint32_t kTrace = ChartRgb(1, 2, 3);
  DrawSeries(canvas, plot, history, span, [](const HistorySample& s) { return static_cast<double>(s.hdop); }, 0, 2,
             kTrace);
  const std::uint32_t bands[5] = {1, 2, 3, 4, 5};
  DrawFixBand(canvas, band, history, span, bands);
  const int row = RowOf(plot, 1.0, 0, 2);
  std::string trace, fix;
  for (int x = 0; x < kWidth; ++x) {
    trace += canvas.At(x, row) == kTrace ? '#' : '.';
    fix += static_cast<char>('0' + canvas.At(x, 15));
  }
  //               10:00:00 to 10:00:25            10:00:40 and 41
  EXPECT_EQ(trace, std::string(19, '.') + std::string(26, '#') + std::string(14, '.') + "##");
  EXPECT_EQ(fix, std::string(19, '0') + std::string(26, '5') + std::string(14, '0') + "33");

  // Each satellite's C/N0 in its system's colour, broken at the same gap;
  // satellite 5 is used, and thicker: a row below its trace is drawn too.
  std::fill(pixels.begin(), pixels.end(), 0u);
  const std::uint32_t systems[nmea::kGnssSystems] = {kTrace, 0, 0, 0, 0, 0, 0};
  DrawCn0(canvas, plot, history, span, systems);
  const int cn0Row = RowOf(plot, 30, 0, 60);
  std::string cn0, thick;
  for (int x = 0; x < kWidth; ++x) {
    cn0 += canvas.At(x, cn0Row) == kTrace ? '#' : '.';
    thick += canvas.At(x, cn0Row + 1) == kTrace ? '#' : '.';
  }
  // Two pixels wide and two high: one column more than the HDOP's trace.
  const std::string wide = std::string(19, '.') + std::string(27, '#') + std::string(13, '.') + "##";
  EXPECT_EQ(cn0, wide);
  EXPECT_EQ(thick, wide);

  // Ending at 10:00:20 instead: the last 60 s up to there.
  const ChartSpan earlier = SpanOf(history, 20, 60);
  EXPECT_EQ(earlier.endSecond, history.At(20).second);
  EXPECT_EQ(earlier.first, 0);
  EXPECT_EQ(earlier.last, 20);
  EXPECT_EQ(ColumnOf(plot, earlier, history.At(20).second), kWidth - 1);
}

}  // namespace
}  // namespace trelvane::monitor
