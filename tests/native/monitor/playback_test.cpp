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
    return page + "\n" + Utf8(log.text.c_str());
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
    link::StreamLexer<Ch> lexer;
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
    Monitor<Ch> played;
    link::OpenResult result;
    played.playback.LimitSlice(1024);
    played.playback.Open(file, nullptr, 0, Name<Ch>("C:\\rec\\x.log").c_str(), 0, result);
    ASSERT_EQ(result, link::OpenResult::kIndexing);
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
    while (!played.playback.Clock().Ended() || played.playback.Clock().Delivered() < file.text.size()) {
      played.playback.Pump(now += 10);
    }
    EXPECT_EQ(played.Page(), atOnce.Page());
    EXPECT_EQ(played.playback.Counts().bytes, file.text.size());

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

// A recording with its timing: each read falls due when it was read, the
// data's age does not count through a long silence, and Pause, Step,
// Faster and Slower move the pace as the position text says.
TYPED_TEST(PlaybackTest, TimedRecordingKeepsItsGapsUnderTheCommands) {
  using Ch = TypeParam;
  const std::string rmc = Sentence("GPRMC,120000,A,5251.0084,N,00611.7660,E,0.0,0.0,081226,,,A");
  const std::string gsa = Sentence("GPGSA,A,3,04,05,,,,,,,,,,,2.1,1.2,1.7");
  TextBytes file;
  std::vector<link::TimedRead> reads;
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
  struct FailsPastAKilobyte final : link::PlaybackBytes {
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
