// The charts' history: a sample a second of receiver time, the second's worst
// DOPs and quality and its mean C/N0 (at 10 Hz too), the oldest dropping off
// after a day within its memory, and a played file's history up to any byte
// the same as a reading of the file up to there.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/history_csv.hpp"
#include "monitor/history_feed.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::monitor {
namespace {

using testing::Sentence;

struct StringOut {
  std::string text;
  bool Write(const char* bytes, std::size_t count) {
    text.append(bytes, count);
    return true;
  }
};

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
  HistoryBuilder<char> builder(history);
  // Four GSV groups of sixteen satellites: 64 in view, every second.
  std::vector<std::string> gsv;
  for (const char* talker : {"GP", "GL", "GA", "GB"}) {
    for (int message = 1; message <= 4; ++message) {
      std::string body = std::string(talker) + "GSV,4," + std::to_string(message) + ",16";
      for (int k = 0; k < 4; ++k) {
        const int number = (std::string(talker) == "GL" ? 65 : 1) + (message - 1) * 4 + k;
        body += "," + std::to_string(number) + ",45,120," + std::to_string(20 + k);
      }
      gsv.push_back(Sentence(body));
    }
  }
  const int seconds = kHistorySeconds + 10;
  for (int s = 0; s < seconds; ++s) {
    char rmc[96];
    std::snprintf(rmc, sizeof rmc, "GNRMC,%02d%02d%02d,A,4807.0380,N,01131.0000,E,0.0,0.0,%02d1226,,", s / 3600 % 24,
                  s / 60 % 60, s % 60, 9 + s / 86400);
    const std::string line = Sentence(rmc);
    builder.Line(line.c_str(), static_cast<int>(line.size()));
    for (const std::string& g : gsv) builder.Line(g.c_str(), static_cast<int>(g.size()));
  }
  builder.Finish();
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

}  // namespace
}  // namespace trelvane::monitor
