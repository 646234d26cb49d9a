// $GPRMC into the readout, for both builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

template <class Build>
class DecodeRmcTest : public ::testing::Test {
 protected:
  Monitor<Build> monitor;
};
TYPED_TEST_SUITE(DecodeRmcTest, BothBuilds);

struct RmcCase {
  std::string line;
  const char* date;
  const char* utc;
  const char* direction;
  const char* speed;
  const char* northSouth;
  const char* latitude;
  const char* eastWest;
  const char* longitude;
};

TYPED_TEST(DecodeRmcTest, TurnsEachFieldIntoItsText) {
  const RmcCase cases[] = {
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", "2094/03/23", "12:35:19", "084.4",
       "40 Km/hr", "N", "48°07.0380'", "E", "011°31.0000'"},
      // Real receivers: fractional seconds and NMEA 2.3 mode field, western hemisphere, empty course.
      {"$GPRMC,110533.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*6C\r\n", "2011/03/14", "11:05:33", "0",
       "0 Km/hr", "N", "57°09.8067'", "W", "002°07.2822'"},
      {"$GPRMC,095003,A,5250.8736,N,00518.5095,E,5.3,233.1,200818,1.4,E,A*1A\r\n", "2018/08/20", "09:50:03", "233.1",
       "9 Km/hr", "N", "52°50.8736'", "E", "005°18.5095'"},
      // Status V updates every text all the same.
      {Sentence("GPRMC,123519.000,V,4916.4500,S,00301.0010,W,0.35,84.4,010100,,"), "2000/01/01", "12:35:19", "84.4",
       "0 Km/hr", "S", "49°16.4500'", "W", "003°01.0010'"},
      // Fractions keep the digits received, padded to four: 44.123 is not 44.0123.
      {Sentence("GPRMC,000000,A,3644.123,S,17444.07294,E,10.9,,311299,,"), "2099/12/31", "00:00:00", "0",
       "18 Km/hr", "S", "36°44.1230'", "E", "174°44.07294'"},
      {Sentence("GPRMC,000000,A,3644.5,S,17444.,E,,,311299,,"), "2099/12/31", "00:00:00", "0", "0 Km/hr", "S",
       "36°44.5000'", "E", "174°44.0000'"},
      // Nothing but empty fields: the defaults.
      {"$GPRMC,,V,,,,,,,,,,N*53\r\n", "2000/00/00", "", "0", "0 Km/hr", "", "", "", ""},
      // Present but unreadable position fields read as zeros.
      {Sentence("GPRMC,120000,A,N/A,N,?,E,,,230394,,"), "2094/03/23", "12:00:00", "0", "0 Km/hr", "N", "00°00.0000'",
       "E", "000°00.0000'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto& m = this->monitor;
    ASSERT_EQ(m.Feed(c.line), 1);
    EXPECT_EQ(m.intake.lastDecoded(), nmea::Decoded::kRmc);
    EXPECT_EQ(m.Text(ReadoutField::kDate), c.date);
    EXPECT_EQ(m.Text(ReadoutField::kUtc), c.utc);
    EXPECT_EQ(m.Text(ReadoutField::kDirection), c.direction);
    EXPECT_EQ(m.Text(ReadoutField::kSpeed), c.speed);
    EXPECT_EQ(m.Text(ReadoutField::kNorthSouth), c.northSouth);
    EXPECT_EQ(m.Text(ReadoutField::kLatitude), c.latitude);
    EXPECT_EQ(m.Text(ReadoutField::kEastWest), c.eastWest);
    EXPECT_EQ(m.Text(ReadoutField::kLongitude), c.longitude);
  }
}

TYPED_TEST(DecodeRmcTest, LeavesTheOtherReadoutTextsAlone) {
  auto& m = this->monitor;
  ASSERT_EQ(m.Feed("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"), 1);
  ASSERT_EQ(m.Feed("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"), 1);
  EXPECT_EQ(m.Text(ReadoutField::kStatus), "3D");
  EXPECT_EQ(m.Text(ReadoutField::kHdop), "1.3");
  EXPECT_EQ(m.Text(ReadoutField::kPdop), "2.5");
}

TEST(DecodeRmcDesktop, WritesTheCodePage950DegreeSignAndRepaintsOnce) {
  Monitor<DesktopBuild> m;
  ASSERT_EQ(m.Feed(Sentence("GPRMC,123519,A,4916.4500,N,12311.1200,W,0,0,230394,,")), 1);
  EXPECT_STREQ(m.readout.latitude, "49\xA2X16.4500'");
  EXPECT_STREQ(m.readout.longitude, "123\xA2X11.1200'");
  EXPECT_EQ(m.repaints, 1);
}

TEST(DecodeRmcDesktop, CutsTextsLongerThanTheirCapacity) {
  Monitor<DesktopBuild> m;
  ASSERT_EQ(m.Feed(Sentence("GPRMC,123519,A,4916.12345678,N,12311.1234567,W,1000,1234567890.5,230394,,")), 1);
  EXPECT_STREQ(m.readout.speed, "1852 Km/h");          // "1852 Km/hr" is one byte too long
  EXPECT_STREQ(m.readout.direction, "123456789");      // 9 of 12 characters
  EXPECT_STREQ(m.readout.latitude, "49\xA2X16.1234567");  // 14 bytes, the degree sign counted as two
  EXPECT_STREQ(m.readout.longitude, "123\xA2X11.123456");
}

TEST(DecodeRmcHandheld, SetsTheControlsInOrderAndRequestsNoRepaint) {
  Monitor<PocketBuild> m;
  ASSERT_EQ(m.Feed("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"), 1);
  EXPECT_EQ(m.readout.order, (std::vector<int>{1021, 1022, 1023, 1024, 1029, 1028, 1031, 1032}));
  EXPECT_EQ(m.repaints, 0);
  // The handheld degree sign is U+00B0 itself.
  for (const auto& entry : m.readout.texts) {
    if (entry.first == 1032) {
      EXPECT_EQ(entry.second[2], nmea::Utf16Unit(0x00B0));
    }
  }
}

}  // namespace
}  // namespace trelvane::testing
