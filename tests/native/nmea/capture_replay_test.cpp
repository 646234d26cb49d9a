// Real receiver captures replayed through the line cutter and sentence intake,
// as a monitor would receive them, for both builds. The expected readouts were
// worked out by hand from each capture's last $GPRMC and $GPGSA.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "stream/line_assembler.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

struct Replayed {
  int handed = 0;
  int accepted = 0;
};

template <class Build>
Replayed Replay(const std::string& capture, Monitor<Build>& monitor) {
  Replayed counts;
  stream::LineAssembler<typename Build::Char> lines;
  for (unsigned char byte : capture) {
    if (lines.Push(byte) != stream::LineAssembler<typename Build::Char>::Step::kLine) continue;
    if (lines.Line()[0] == '#') continue;  // capture header
    ++counts.handed;
    counts.accepted += monitor.intake.HandleSentence(lines.Line());
  }
  return counts;
}

struct CaptureCase {
  const char* file;
  int handed;
  int accepted;
  // date, utc, direction, speed, status, hdop, pdop, northSouth, latitude, eastWest, longitude
  std::vector<std::string> readout;
  int inView;
  int inUse;
};

const CaptureCase kCaptures[] = {
    // One extra bare line feed at the end: handed over, rejected.
    {"nd-1005.log", 90, 89,
     {"2011/03/14", "11:05:33", "0", "0 Km/hr", "3D", "1.0", "2.1", "N", "57°09.8067'", "W", "002°07.2822'"}, 12, 8},
    {"nokia-ld-4w.log", 70, 69,
     {"2009/12/05", "08:03:33", "93.12", "0 Km/hr", "3D", "1.2", "2.2", "N", "65°03.0196'", "E", "025°28.3548'"}, 11,
     -1},
    {"myguide-3100.log", 100, 100,
     {"2009/10/08", "10:50:37", "197.090", "0 Km/hr", "3D", "17.473", "23.494", "N", "56°12.9964'", "W",
      "003°06.7154'"},
     11, -1},
    // Six-digit fractions: the desktop cuts the longitude's apostrophe (15 bytes).
    {"quectel.log", 312, 312,
     {"2020/10/07", "02:21:02", "301.9", "0 Km/hr", "2D", "1.0", "1.3", "S", "36°44.759484'", "E", "174°44.072904'"},
     16, -1},
    {"bundg_zeus_9.log", 4999, 4999,
     {"2018/08/20", "09:50:03", "233.1", "9 Km/hr", "3D", "0.60", "1.10", "N", "52°50.8736'", "E", "005°18.5095'"}, 12,
     -1},
    // Broken checksums, spliced sentences, zero bytes: 86 lines pass.
    {"gp-320fw-2019-04-07-coldboot.log", 134, 86,
     {"2099/08/22", "00:04:35", "0", "0 Km/hr", "No Fix", "", "", "N", "00°00.0000'", "E", "000°00.0000'"}, -1, 0},
};

template <class Build>
class CaptureReplayTest : public ::testing::Test {};
TYPED_TEST_SUITE(CaptureReplayTest, BothBuilds);

TYPED_TEST(CaptureReplayTest, EndsWithTheReadoutOfTheLastSentences) {
  for (const auto& c : kCaptures) {
    SCOPED_TRACE(c.file);
    const std::string capture = ReadCapture(c.file);
    ASSERT_FALSE(capture.empty()) << "cannot read " << TRELVANE_CAPTURE_DIR << "/" << c.file;
    Monitor<TypeParam> monitor;
    const Replayed counts = Replay(capture, monitor);
    EXPECT_EQ(counts.handed, c.handed);
    EXPECT_EQ(counts.accepted, c.accepted);
    for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
      std::string expected = c.readout[f];
      if (kDesktop<TypeParam> && expected == "174°44.072904'") expected.pop_back();
      EXPECT_EQ(monitor.Text(ReadoutField(f)), expected) << "field " << f;
    }
    if (c.inView >= 0) {
      EXPECT_EQ(monitor.satellites.satellitesInView, c.inView);
    }
    if (c.inUse >= 0) {
      int marked = 0;
      for (const auto& entry : monitor.satellites.entries) marked += entry.inUse;
      EXPECT_EQ(marked, c.inUse);
    }
  }
}

// Every accepted line is in the log pane, in arrival order, with its line break.
TYPED_TEST(CaptureReplayTest, LogPaneShowsTheLastAcceptedSentences) {
  Monitor<TypeParam> monitor;
  Replay(ReadCapture("nd-1005.log"), monitor);
  const std::string log = Utf8(monitor.log.text.c_str());
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_NE(log.find("$GPRMC,110533.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*6C\r\n"), std::string::npos);
  EXPECT_LE(monitor.log.LineCount(), 101);
}

}  // namespace
}  // namespace trelvane::testing
