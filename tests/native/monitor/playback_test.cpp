// Playing a recording through the monitor session, for both text forms:
// what a played file leaves on the page against the same bytes taken at
// once, a seek against playing to the same place, and a timed recording's
// pace under the File commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/capture_feed.hpp"
#include "monitor/playback.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/recording/playback_support.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using trelvane::testing::Sentence;
using trelvane::testing::Utf8;

using trelvane::testing::Capture;
using trelvane::testing::TextBytes;

// One monitor: its page, its session and a playback on it.
template <class Ch>
struct Monitor {
  using Build = typename monitor::MonitorBuild<Ch>::Intake;

  // The readout, the satellites and the log pane as one text.
  std::string Page() const {
    std::string page;
    for (int field = 0; field < nmea::kReadoutFieldCount; ++field) {
      if constexpr (sizeof(Ch) == 1) {
        page += Utf8(readout.Text(static_cast<nmea::ReadoutField>(field)));
      } else {
        page += readout.Text(static_cast<nmea::ReadoutField>(field));
      }
      page += '|';
    }
    for (const auto& entry : satellites.entries) page += Utf8(entry.prn) + ":" + std::to_string(entry.snr) + ",";
    const nmea::GnssView& sky = session.Intake().gnss();
    for (int i = 0; i < sky.Count(); ++i) {
      const nmea::GnssSatellite& s = sky.At(i);
      page += std::to_string(s.number) + "/" + std::to_string(s.snr) + (s.used ? "u " : " ");
    }
    return page + "\n" + Utf8(log.text.c_str());
  }

  // The accuracy page's fixes: how many, and a digest of them in order.
  std::string Fixes() const {
    std::uint64_t digest = 1469598103934665603u;
    session.Fixes().EachFix([&](const monitor::Fix& fix) {
      for (double value : {fix.latitude, fix.longitude, fix.altitude}) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        digest = (digest ^ bits) * 1099511628211u;
      }
    });
    return std::to_string(session.Fixes().Count()) + " fixes, " + std::to_string(digest);
  }

  std::string Health() const {
    Ch text[64];
    session.HealthState(text, 64);
    return Utf8(text);
  }

  std::string Position() const {
    Ch text[160];
    playback.PositionText(text, 160, true);
    return Utf8(text);
  }

  // The whole file at once, as trelvane-decode takes a capture.
  void TakeAtOnce(const std::string& bytes) {
    struct Sink {
      monitor::MonitorSession<Ch>& session;
      void OnLine(const Ch* line, int length) {
        if (line[0] != Ch('#')) session.TakeLine(line, length, 0);
      }
      void OnFrame(const unsigned char* frame, int length) { session.TakeFrame(frame, length); }
      bool OnLineCut() { return true; }
    } sink{session};
    session.PlaybackOpened(0);
    stream::StreamLexer<Ch> lexer;
    monitor::CaptureFeed feed;
    feed.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), lexer, sink);
    lexer.EndOfBurst(sink);
  }

  trelvane::testing::RecordingLogPane<Ch> log;
  typename trelvane::testing::ReadoutOf<Build>::type readout;
  nmea::SatelliteTable<Ch> satellites;
  monitor::DataAge age;
  monitor::MonitorSession<Ch> session{log, readout, satellites, age};
  monitor::Playback<Ch> playback{session};
};

template <class Ch>
class PlaybackTest : public ::testing::Test {};
using CharTypes = ::testing::Types<char, char16_t>;
TYPED_TEST_SUITE(PlaybackTest, CharTypes);

template <class Ch>
std::basic_string<Ch> Name(const char* path) {
  return trelvane::testing::Widen<Ch>(path);
}

// A capture played at xmax to its end leaves the page as the capture taken
// at once does; seeks back and forth then show what playing to the same
// place shows, log pane included.
TYPED_TEST(PlaybackTest, PlayedAndSoughtPagesMatchPlayingThere) {
  using Ch = TypeParam;
  for (const char* name : {"nd-1005.log", "multi/neo-m8n.log", "multi/ublox-zed-f9p-nmea.log"}) {
    SCOPED_TRACE(name);
    TextBytes file;
    file.text = Capture(name);
    Monitor<Ch> atOnce;
    atOnce.TakeAtOnce(file.text);

    // Opened as a large file without timing is: read for its cycles in
    // slices, one a pump, and played once the last is read.
    // The desktop keeps points to seek from, here one every 2 KiB.
    Monitor<Ch> played;
    recording::OpenResult result;
    played.playback.LimitSlice(1024);
    played.playback.KeepPointsEvery(2048);
    played.playback.Open(file, nullptr, 0, Name<Ch>("C:\\rec\\x.log").c_str(), 0, result);
    ASSERT_EQ(result, recording::OpenResult::kIndexing);
    int indexPumps = 0;
    for (; played.playback.Indexing(); ++indexPumps) {
      EXPECT_NE(played.Health(), "Playing");
      EXPECT_EQ(played.playback.Command(monitor::kCmdFaster, 0), monitor::kNothing);
      played.playback.Pump(0);
    }
    EXPECT_GE(indexPumps, static_cast<int>(file.text.size() / 1024));
    EXPECT_EQ(played.Health(), "Playing");
    for (int i = 0; i < 5; ++i) played.playback.Command(monitor::kCmdFaster, 0);
    std::uint32_t now = 0;
    while (!played.playback.Clock().Ended() || played.playback.Clock().Delivered() < file.text.size() ||
           played.playback.KeepingPoints()) {
      played.playback.Pump(now += 10);
    }
    EXPECT_EQ(played.Page(), atOnce.Page());
    EXPECT_EQ(played.Fixes(), atOnce.Fixes());
    EXPECT_EQ(played.playback.Counts().bytes, file.text.size());
    EXPECT_FALSE(played.playback.KeepingPoints());
    EXPECT_EQ(played.playback.PointsKept() > 2, sizeof(Ch) == 1);

    for (int i = 0; i < 5; ++i) played.playback.Command(monitor::kCmdSlower, now);
    const std::uint64_t length = played.playback.Clock().LengthMs();
    // In one go; in 1 KiB slices, one a pump, the page shown only at the
    // end; and a seek that cuts a sliced one short lands where it asks.
    constexpr std::uint64_t kWhole = ~std::uint64_t{0};
    const struct { std::uint32_t permille; std::uint64_t slice; std::uint32_t cutShort; } seeks[] = {
        {500, kWhole, 0}, {900, 1024, 0}, {250, 1024, 950}};
    for (const auto& seek : seeks) {
      const std::uint32_t permille = seek.permille;
      SCOPED_TRACE(permille);
      played.playback.LimitSlice(seek.slice);
      if (seek.cutShort != 0) {
        played.playback.Seek(seek.cutShort, now);
        EXPECT_TRUE(played.playback.Seeking());
      }
      unsigned change = played.playback.Seek(permille, now);
      int pumps = 0;
      for (; played.playback.Seeking(); ++pumps) {
        EXPECT_EQ(change, monitor::kNothing);
        EXPECT_EQ(played.playback.WakeAfterMs(now), 1u);
        change = played.playback.Pump(now);
      }
      EXPECT_EQ(pumps > 0, seek.slice != kWhole);
      EXPECT_NE(change & monitor::kPage, 0u);
      Monitor<Ch> toThere;
      toThere.playback.Open(file, nullptr, 0, Name<Ch>("x.log").c_str(), 1000, result);
      const auto there = static_cast<std::uint32_t>(1000 + length * permille / 1000);
      for (std::uint32_t at = 1000; at < there;) toThere.playback.Pump(at = std::min(there, at + 250));
      EXPECT_EQ(played.Page(), toThere.Page());
      EXPECT_EQ(played.Fixes(), toThere.Fixes());
      EXPECT_EQ(played.playback.Clock().Delivered(), toThere.playback.Clock().Delivered());
    }
    // Stopped in the middle of a seek: the log pane is the window's again.
    played.playback.Seek(900, now);
    ASSERT_TRUE(played.playback.Seeking());
    EXPECT_EQ(played.playback.Command(monitor::kCmdStopPlaying, now) & (monitor::kHealth | monitor::kLogNow),
              monitor::kHealth | monitor::kLogNow);
    EXPECT_FALSE(played.playback.Seeking());
    EXPECT_FALSE(played.session.Replaying());
    EXPECT_EQ(played.Health(), "Closed");
  }
}

// More fixes than the accuracy page keeps: a seek late in the file takes up
// the last point before its place, feeds the fixes alone from a point
// kFixesKept fixes further back, and shows what a seek fed from the start
// shows, the fixes in their order included. One far past the points read so
// far feeds the fixes alone up to a span before its place: the same
// page and fixes, the log pane's same last lines.
TEST(PlaybackSeekPoints, ASeekFromAKeptPointShowsWhatOneFromTheStartDoes) {
  constexpr int kFixes = monitor::kFixesKept * 5 / 2;
  TextBytes file;
  file.text.reserve(static_cast<std::size_t>(kFixes) * 80);
  const std::string gsv = Sentence("GPGSV,1,1,02,04,45,120,41,09,12,300,33");
  for (int i = 0; i < kFixes; ++i) {
    char gga[96];
    std::snprintf(gga, sizeof gga, "GPGGA,%02d%02d%02d.0,5251.%04d,N,00611.%04d,E,%d,08,0.9,%d.0,M,47.0,M,,", i / 36000 % 24,
                  i / 600 % 60, i / 10 % 60, i % 9973, i % 7919, 1 + i % 4, i % 50);
    file.text += Sentence(gga);
    if (i % 10 == 0) file.text += Sentence("GPRMC,120000,A,5251.0084,N,00611.7660,E,0.0,0.0,081226,,,A") + gsv;
    if (i % 5000 == 0) file.text += Sentence("GPGST,120000.0,1.1,0.9,0.7,45.0,0.8,0.6," + std::to_string(i % 97));
  }
  // Once open, its reads fail past 40 %: the points stop there, and the
  // ones kept serve.
  struct FailsPast final : recording::PlaybackBytes {
    TextBytes& whole;
    std::uint64_t limit;
    FailsPast(TextBytes& file, std::uint64_t at) : whole(file), limit(at) {}
    std::uint64_t Size() const override { return whole.Size(); }
    std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) override {
      return offset + capacity > limit ? 0 : whole.Read(offset, into, capacity);
    }
  } failing(file, ~std::uint64_t{0});
  // All points kept, after another file's (whose room they take, and of
  // which nothing may show); none; points up to 40 %; a fifth kept so far.
  TextBytes other;
  other.text = file.text.substr(file.text.size() / 3);
  Monitor<char> kept, fromStart, cut, early;
  const struct { Monitor<char>* m; recording::PlaybackBytes* bytes; std::uint64_t span; int pointsKept; } monitors[] = {
      {&kept, &file, 1, static_cast<int>(monitor::kMostPoints)},
      {&fromStart, &file, ~std::uint64_t{0}, 0},
      {&cut, &failing, 1, static_cast<int>(monitor::kMostPoints * 2 / 5)},
      {&early, &file, 1, static_cast<int>(monitor::kMostPoints / 5)}};
  for (const auto& [m, bytes, span, pointsKept] : monitors) {
    recording::OpenResult result;
    m->playback.KeepPointsEvery(span);
    if (m == &kept) {
      m->playback.Open(other, nullptr, 0, "other.nmea", 0, result);
      while (m->playback.Indexing() || m->playback.KeepingPoints()) m->playback.Pump(0);
      ASSERT_EQ(m->playback.PointsKept(), static_cast<int>(monitor::kMostPoints));
    }
    m->playback.Open(*bytes, nullptr, 0, "x.nmea", 0, result);
    while (m->playback.Indexing()) m->playback.Pump(0);
    m->playback.Command(monitor::kCmdPause, 0);
    if (bytes == &failing) failing.limit = file.text.size() * 2 / 5;
    m->playback.LimitSlice(64 << 10);  // the points read a slice of at most that much too
    while (m->playback.KeepingPoints() && (m != &early || m->playback.PointsKept() < pointsKept)) m->playback.Pump(0);
    EXPECT_EQ(m->playback.KeepingPoints(), m == &early);
    EXPECT_NEAR(m->playback.PointsKept(), pointsKept, 1);
  }
  // In slices of 64 KiB: a seek from a point feeds fewer of them, unless
  // its fixes are to be fed from the start anyway (the fixes alone, which
  // costs the same slices but a tenth of the time).
  // The early monitor's seeks past its points: at 35 and 50 % the fixes
  // from its last point on, at 97.5 % from a cut of the file that holds them.
  for (const auto& [permille, fewer] : {std::pair{975u, true}, {30u, false}, {350u, false}, {500u, true}}) {
    SCOPED_TRACE(permille);
    int slices[4] = {0, 0, 0, 0};
    int at = 0;
    for (Monitor<char>* m : {&fromStart, &kept, &cut, &early}) {
      int& counted = slices[at++];
      m->playback.Seek(permille, 0);
      for (; m->playback.Seeking(); ++counted) m->playback.Pump(0);
      if (m == &fromStart || (m == &cut && permille > 400)) continue;  // the cut file cannot be read there
      EXPECT_EQ(m->Fixes(), fromStart.Fixes());
      EXPECT_EQ(m->session.Figures().gst.altitudeSigma.value, fromStart.session.Figures().gst.altitudeSigma.value);
      const std::string page = m->Page(), whole = fromStart.Page();
      if (m != &early || permille < 300) {
        EXPECT_EQ(page, whole);
        continue;
      }
      // The pane empties every so many lines, counted from the file's
      // start: it may hold more or fewer of them, the same last ones.
      const std::size_t log = page.find('\n'), wholeLog = whole.find('\n');
      EXPECT_EQ(page.substr(0, log), whole.substr(0, wholeLog));
      const std::string shorter = page.size() < whole.size() ? page.substr(log) : whole.substr(wholeLog);
      const std::string longer = page.size() < whole.size() ? whole : page;
      EXPECT_GT(shorter.size(), 200u);
      EXPECT_EQ(longer.substr(longer.size() - shorter.size()), shorter);
    }
    EXPECT_EQ(slices[1] < slices[0], fewer) << slices[1] << " against " << slices[0];
    // Far past its points, the early monitor feeds a cut, not the file.
    EXPECT_EQ(slices[3] < slices[0], permille == 975u) << slices[3] << " against " << slices[0];
  }
}

// A recording with its timing: each read falls due when it was read, the
// data's age does not count through a long silence, and Pause, Step,
// Faster and Slower move the pace as the position text says.
TYPED_TEST(PlaybackTest, TimedRecordingKeepsItsGapsUnderTheCommands) {
  using Ch = TypeParam;
  const std::string rmc = Sentence("GPRMC,120000,A,5251.0084,N,00611.7660,E,0.0,0.0,081226,,,A");
  const std::string gsa = Sentence("GPGSA,A,3,04,05,,,,,,,,,,,2.1,1.2,1.7");
  TextBytes file;
  std::vector<recording::TimedRead> reads;
  // Three bursts: at 0 s (two reads 5 ms apart), at 1 s, and after a 9 s
  // silence at 10 s.
  for (const auto& [ms, bytes] : std::vector<std::pair<std::uint32_t, std::string>>{
           {0, rmc}, {5, gsa}, {1000, rmc + gsa}, {10000, rmc}}) {
    reads.push_back({static_cast<std::uint32_t>(file.text.size()), ms});
    file.text += bytes;
  }
  Monitor<Ch> m;
  // A file that could not be opened is named in the log, and nothing plays.
  EXPECT_EQ(m.playback.Play(file, false, nullptr, 0, Name<Ch>("D:/gone.nmea").c_str(), 0), monitor::kLogNow);
  EXPECT_EQ(Utf8(m.log.text.c_str()), "Cannot play D:/gone.nmea\r\n");
  EXPECT_FALSE(m.playback.IsOpen());
  // Nor does one without timing whose read fails while it is read through.
  struct FailsPastAKilobyte final : recording::PlaybackBytes {
    std::uint64_t Size() const override { return 4096; }
    std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) override {
      std::fill(into, into + capacity, static_cast<unsigned char>('x'));
      return offset < 1024 ? capacity : 0;
    }
  } broken;
  m.playback.LimitSlice(1024);
  EXPECT_EQ(m.playback.Play(broken, true, nullptr, 0, Name<Ch>("D:/cut.nmea").c_str(), 0), monitor::kNothing);
  EXPECT_TRUE(m.playback.Indexing());
  EXPECT_EQ(m.playback.Pump(0), monitor::kLogNow);
  EXPECT_EQ(Utf8(m.log.text.c_str()), "Cannot play D:/gone.nmea\r\nCannot play D:/cut.nmea\r\n");
  EXPECT_FALSE(m.playback.IsOpen());
  m.playback.LimitSlice(~std::uint64_t{0});
  m.playback.Play(file, true, reads.data(), reads.size(), Name<Ch>("D:/x/20261208-101500.nmea").c_str(), 100);
  ASSERT_TRUE(m.playback.IsOpen());
  struct Expect {
    const char* what;
    int command;  // 0: none
    std::uint32_t at;
    std::uint64_t delivered;
    const char* position;
    bool logNow;  // the log pane is to show all that was delivered, at once
  };
  const std::size_t first = rmc.size() + gsa.size();
  const std::size_t second = first + rmc.size() + gsa.size();
  const Expect steps[] = {
      {"the first burst within its 5 ms", 0, 110, first, "20261208-101500.nmea  0:00:00 / 0:00:10  x1", false},
      {"the second a second later", 0, 1100, second, "20261208-101500.nmea  0:00:01 / 0:00:10  x1", false},
      {"paused: nothing more", monitor::kCmdPause, 1200, second, "20261208-101500.nmea  0:00:01 / 0:00:10  paused",
       true},
      {"still paused at 20 s", 0, 20000, second, "20261208-101500.nmea  0:00:01 / 0:00:10  paused", false},
      {"play again", monitor::kCmdPause, 20000, second, "20261208-101500.nmea  0:00:01 / 0:00:10  x1", false},
      {"faster: x2", monitor::kCmdFaster, 20000, second, "20261208-101500.nmea  0:00:01 / 0:00:10  x2", false},
      {"4.5 s at x2 is 9 s on: the end", 0, 24500, file.text.size(), "20261208-101500.nmea  0:00:10 / 0:00:10  end",
       true},
  };
  for (const Expect& step : steps) {
    SCOPED_TRACE(step.what);
    unsigned change = step.command != 0 ? m.playback.Command(step.command, step.at) : 0u;
    change |= m.playback.Pump(step.at);
    EXPECT_EQ((change & monitor::kLogNow) != 0, step.logNow);
    EXPECT_EQ(m.playback.Clock().Delivered(), step.delivered);
    EXPECT_EQ(m.Position(), step.position);
    EXPECT_EQ(m.Health(), "Playing");
    EXPECT_EQ(m.session.Tick(step.at, m.playback.Counts()) & monitor::kAge, 0u);
    EXPECT_FALSE(m.age.Grey());
  }
  // Within the silence, at 1 s + 8.5 s of x2 play: the last burst is not yet due.
  m.playback.Seek(500, 30000);
  m.playback.Command(monitor::kCmdPause, 30000);
  EXPECT_EQ(m.playback.Clock().Delivered(), second);
  EXPECT_NE(m.playback.Command(monitor::kCmdStep, 30000) & monitor::kLogNow, 0u);
  EXPECT_EQ(m.playback.Clock().Delivered(), file.text.size());
  EXPECT_EQ(m.Position(), "20261208-101500.nmea  0:00:10 / 0:00:10  end");

  // The position text stays inside whatever room it is given, and ends.
  const std::string whole = m.Position();
  for (int capacity = 1; capacity <= static_cast<int>(whole.size()) + 2; ++capacity) {
    Ch text[80];
    std::fill(std::begin(text), std::end(text), Ch('#'));
    const int length = m.playback.PositionText(text, capacity, true);
    EXPECT_LT(length, capacity);
    EXPECT_EQ(text[length], Ch(0)) << capacity;
    EXPECT_EQ(text[capacity], Ch('#')) << capacity;
  }
}

}  // namespace
