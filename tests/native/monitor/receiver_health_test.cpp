// The receiver's health through the session: every sentence's count per
// address against a count of the file itself, bad checksums under the address
// that sent them, rates, gaps and the binary frames' rows; and the time to
// first fix after the link opens or a Cold Start.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "corrections/rtcm3_frames.hpp"
#include "monitor/capture_feed.hpp"
#include "monitor/monitor_session.hpp"
#include "receiver/link_settings.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using trelvane::testing::Sentence;

struct RecordingLink final : receiver::SentenceWriter<char> {
  int WriteSentence(const char*) override { return 1; }
  int WriteBytes(const unsigned char*, int) override { return 1; }
};

struct Session {
  struct Sink {
    monitor::MonitorSession<char>& session;
    std::uint32_t now;
    void OnLine(const char* line, int length) { session.TakeLine(line, length, now); }
    void OnFrame(const unsigned char* frame, int length) { session.TakeFrame(frame, length, now); }
    bool OnLineCut() { return true; }
  };
  void Feed(const std::string& bytes, std::uint32_t now) {
    Sink sink{session, now};
    lexer.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), sink);
  }
  // A capture file, its LF-only lines given back their CR as a player does.
  void FeedCapture(const std::string& bytes) {
    Sink sink{session, 0};
    capture.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), lexer, sink);
  }
  const monitor::SentenceHealth::Row* Row(const std::string& address) const {
    const monitor::SentenceHealth& table = session.Sentences();
    for (int i = 0; i < table.Count(); ++i) {
      if (address == table.At(i).address) return &table.At(i);
    }
    return nullptr;
  }

  trelvane::testing::RecordingLogPane<char> log;
  nmea::FixDisplayRecord readout;
  nmea::SatelliteTable<char> satellites;
  monitor::DataAge age;
  monitor::MonitorSession<char> session{log, readout, satellites, age};
  stream::StreamLexer<char> lexer;
  monitor::CaptureFeed capture;
};

// The file counted on its own: each CR LF line that starts with '$', holds a
// '*' and two hex digits matching the XOR of what stands between.
std::map<std::string, unsigned long> CountGoodLines(const std::string& text) {
  std::map<std::string, unsigned long> counts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t star = line.rfind('*');
    const std::size_t comma = line.find(',');
    if (line.size() < 4 || line[0] != '$' || star == std::string::npos || star + 3 != line.size() ||
        comma == std::string::npos) {
      continue;
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    if (std::stoul(line.substr(star + 1), nullptr, 16) == sum) ++counts[line.substr(1, comma - 1)];
  }
  return counts;
}

TEST(SentenceHealthTest, CountsEachAddressAsTheFileHoldsIt) {
  for (const char* name : {"multi/ublox-zed-f9p-nmea.log", "bundg_zeus_9.log", "multi/sirfstarv-nmea.log"}) {
    SCOPED_TRACE(name);
    std::ifstream file(std::string(TRELVANE_CAPTURE_DIR) + "/" + name, std::ios::binary);
    ASSERT_TRUE(file) << "no capture";
    std::stringstream bytes;
    bytes << file.rdbuf();
    Session s;
    s.session.LinkOpened(0);
    s.FeedCapture(bytes.str());
    const std::map<std::string, unsigned long> expected = CountGoodLines(bytes.str());
    std::map<std::string, unsigned long> counted;
    const monitor::SentenceHealth& table = s.session.Sentences();
    for (int i = 0; i < table.Count(); ++i) {
      if (!table.At(i).binary) counted[table.At(i).address] = table.At(i).count;
      if (i > 0) {
        EXPECT_LT(std::string(table.At(i - 1).address), table.At(i).address) << "rows in address order";
      }
    }
    EXPECT_EQ(counted, expected);

    // Played, and fed in one burst at one tick as a seek feeds it: the rates
    // are the receiver's, by the file's own fix times (the ZED-F9P's GGA at
    // 1 Hz), never a burst's.
    Session played;
    played.session.PlaybackOpened(0);
    played.FeedCapture(bytes.str());
    const std::uint32_t at = played.session.SentencesNow(0);
    if (const auto* gga = played.Row("GNGGA"); std::string(name).find("zed") != std::string::npos) {
      ASSERT_NE(gga, nullptr);
      EXPECT_NEAR(monitor::SentenceHealth::Rate(*gga, at), 1.0, 0.05);
    }
    for (int i = 0; i < played.session.Sentences().Count(); ++i) {
      EXPECT_LE(monitor::SentenceHealth::Rate(played.session.Sentences().At(i), at), 20.0);
    }
  }
}

TEST(SentenceHealthTest, RatesGapsBadChecksumsAndFrames) {
  Session s;
  s.session.LinkOpened(0);
  const std::string gga = Sentence("GNGGA,123456.00,4717.11437,N,00833.91522,E,1,08,1.01,499.6,M,48.0,M,,");
  const std::string gsv = Sentence("GPGSV,1,1,01,04,40,083,46");
  std::string badGsv = gsv;
  badGsv[badGsv.size() - 3] = badGsv[badGsv.size() - 3] == '0' ? '1' : '0';  // the checksum's last digit
  // A UBX NAV-PVT-sized poll answer is not needed: any valid frame counts.
  const std::string ack("\xB5\x62\x05\x01\x02\x00\x06\x16\x24\x4D", 10);
  unsigned char rtcm[16];
  const unsigned char msm4Head[] = {0x43, 0x50, 0x00};  // type 1077's first bytes
  const std::string base(reinterpret_cast<const char*>(rtcm), trelvane::corrections::BuildFrame(msm4Head, 3, rtcm));

  // Twelve seconds of a 10 Hz GGA with GSV once a second, then a 3 s gap.
  for (std::uint32_t t = 0; t < 12000; t += 100) {
    s.Feed(gga, t);
    if (t % 1000 == 0) s.Feed(gsv, t);
  }
  const monitor::SentenceHealth::Row* ggaRow = s.Row("GNGGA");
  ASSERT_NE(ggaRow, nullptr);
  EXPECT_EQ(ggaRow->count, 120u);
  EXPECT_DOUBLE_EQ(monitor::SentenceHealth::Rate(*ggaRow, 11950), 10.0);
  EXPECT_EQ(ggaRow->longestGapMs, 100u);
  EXPECT_DOUBLE_EQ(monitor::SentenceHealth::Rate(*s.Row("GPGSV"), 11950), 1.0);

  s.Feed(gga, 15000);
  s.Feed(badGsv, 15000);
  s.Feed("$GP#V,garbled*00\r\n", 15000);  // no readable head: no row
  s.Feed(ack, 15000);
  s.Feed(base, 15000);
  EXPECT_EQ(s.Row("GNGGA")->longestGapMs, 3100u);
  EXPECT_EQ(s.Row("GPGSV")->bad, 1u);
  EXPECT_EQ(s.Row("GPGSV")->count, 12u);
  EXPECT_EQ(s.Row("GNGGA")->bad, 0u);
  ASSERT_NE(s.Row("UBX"), nullptr);
  EXPECT_EQ(s.Row("UBX")->count, 1u);
  EXPECT_EQ(s.session.Sentences().Count(), 4);

  // A row younger than the window: the rate between its first and last.
  Session young;
  young.session.LinkOpened(0);
  for (std::uint32_t t = 0; t <= 2000; t += 200) young.Feed(gga, t);
  EXPECT_DOUBLE_EQ(monitor::SentenceHealth::Rate(*young.Row("GNGGA"), 2000), 5.0);

  char text[512];
  s.session.Sentences().Format(text, sizeof text, 16000);
  EXPECT_EQ(std::string(text),
            "Sentence  Count  Rate/s  Bad  Longest gap  Last\r\n"
            "GNGGA       121     6.0    0        3.1 s   1.0 s\r\n"
            "GPGSV        12     0.5    1        1.0 s   5.0 s\r\n"
            "RTCM3         1     0.0    0        0.0 s   1.0 s\r\n"
            "UBX           1     0.0    0        0.0 s   1.0 s");

  // A reopened link counts afresh.
  s.session.LinkOpened(20000);
  EXPECT_EQ(s.session.Sentences().Count(), 0);
}

// Time to first fix through the session, over scripted streams: a step is a
// fix report (an RMC with or without a fix) at a time, or a Cold Start sent.
TEST(FirstFixTest, TimesTheFirstFixAfterTheLinkOrAColdStart) {
  struct Case {
    const char* what;
    const char* script;  // o: link opens, c: Cold Start, f: a fix, n: no fix; each step 1 s after the last
    int found;           // times found
    double lastSeconds;  // the newest, or -1
    const char* from;
  };
  const Case cases[] = {
      {"a link that opens without a fix", "onnnf", 1, 4.0, "the link opened"},
      {"a warm receiver: its first report", "of", 1, 1.0, "the link opened"},
      {"no fix at all", "onnnnn", 0, -1, ""},
      {"a Cold Start, the fix lost at once", "ofcnnnnf", 2, 5.0, "Cold Start"},
      {"a fix held through the command: timed from its loss", "ofcffnnnf", 2, 3.0, "Cold Start"},
      {"a receiver that never loses its fix", "ofcfffff", 1, 1.0, "the link opened"},
  };
  const std::string fix = Sentence("GPRMC,123456.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A");
  const std::string noFix = Sentence("GPRMC,123456.00,V,,,,,,,091202,,,N");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    RecordingLink writer;
    std::uint32_t now = 0;
    for (const char* step = c.script; *step != 0; ++step, now += 1000) {
      int result = 0;
      if (*step == 'o') s.session.LinkOpened(now);
      if (*step == 'c') s.session.Command(receiver::kMsgColdStart, writer, result, now);
      if (*step == 'f') s.Feed(fix, now);
      if (*step == 'n') s.Feed(noFix, now);
    }
    const monitor::FirstFixClock& clock = s.session.FirstFix();
    EXPECT_EQ(clock.Count(), c.found);
    if (c.found == 0) continue;
    EXPECT_DOUBLE_EQ(clock.Last() / 1000.0, c.lastSeconds);
    char line[64];
    clock.FormatLog(line, 64);
    char expected[64];
    std::snprintf(expected, sizeof expected, "First fix %.1f s after %s\r\n", c.lastSeconds, c.from);
    EXPECT_STREQ(line, expected);
  }
}

// The five kept: newest first, with the smallest, median and largest.
TEST(FirstFixTest, KeepsTheLastFive) {
  monitor::FirstFixClock clock;
  char text[160];
  clock.FormatSummary(text, 160);
  EXPECT_STREQ(text, "Time to first fix: none yet");
  const std::uint32_t times[] = {30000, 12400, 31400, 29800, 33100, 28700};
  for (std::uint32_t t : times) {
    clock.ColdStart(0);
    clock.Report(false, 500);
    EXPECT_TRUE(clock.Report(true, t));
  }
  clock.FormatSummary(text, 160);
  EXPECT_STREQ(text,
               "Time to first fix: 28.7 s after Cold Start. Last 5: 28.7 33.1 29.8 31.4 12.4 s "
               "(smallest 12.4, median 29.8, largest 33.1)");
}

// The receiver's clock against the PC's, over cycles whose lines came in
// `late` ms after their time, across midnight on both clocks.
TEST(ClockOffsetTest, MedianAndSpreadOfEachCyclesLateness) {
  struct Case {
    const char* what;
    std::int64_t firstCycleMs;  // the receiver's time of day of the first cycle
    std::vector<int> late;      // ms, a cycle each second
    const char* shown;
  };
  const Case cases[] = {
      {"lines a quarter second late", 12 * 3600000LL, {250, 252, 248, 251, 249, 250, 262, 250, 247, 250},
       "Receiver time - PC clock: -0.250 s (spread 0.014 s, 10 cycles)"},
      {"across midnight", 24 * 3600000LL - 3000, {100, 110, 90, 100, 105, 95},
       "Receiver time - PC clock: -0.100 s (spread 0.020 s, 6 cycles)"},
      {"a PC clock 3.2 s behind", 6 * 3600000LL, {-3200, -3210, -3190},
       "Receiver time - PC clock: 3.200 s (spread 0.020 s, 3 cycles)\r\nPC clock is 3.2 s behind the receiver"},
      {"no date yet: no cycle counts", -1, {}, "Receiver time - PC clock: no cycle with a time and date yet"},
  };
  const std::int64_t kMidnight = 1765324800000LL;  // a day's start in Unix time
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    s.session.LinkOpened(0);
    if (c.firstCycleMs < 0) {
      s.session.ClockReading(kMidnight + 1000);
      s.Feed(Sentence("GPRMC,120000.00,A,4717.11437,N,00833.91522,E,0.0,0.0,,,,A"), 0);
    }
    for (std::size_t i = 0; i < c.late.size(); ++i) {
      const std::int64_t at = c.firstCycleMs + 1000 * static_cast<std::int64_t>(i);  // may pass midnight
      const std::int64_t day = at % (24 * 3600000LL);
      char time[16];
      std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(day / 3600000), static_cast<int>(day / 60000 % 60),
                    static_cast<int>(day / 1000 % 60), static_cast<int>(day % 1000 / 10));
      s.session.ClockReading(kMidnight + at + c.late[i]);
      s.Feed(Sentence(std::string("GPRMC,") + time + ",A,4717.11437,N,00833.91522,E,0.0,0.0,101226,,,A"), 0);
      s.Feed(Sentence(std::string("GPGGA,") + time + ",4717.11437,N,00833.91522,E,1,08,1.0,499.6,M,48.0,M,,"), 0);
    }
    char shown[160];
    s.session.Clock().Format(shown, 160);
    EXPECT_STREQ(shown, c.shown);
  }
}

}  // namespace
