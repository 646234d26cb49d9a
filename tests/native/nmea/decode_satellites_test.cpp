// $GPGSA and $GPGSV into the fix texts and the satellite table, both builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

template <class Build>
class DecodeSatellitesTest : public ::testing::Test {
 protected:
  std::vector<std::string> Prns() const {
    std::vector<std::string> prns;
    for (int e = 0; e < nmea::kSatelliteEntries; ++e) prns.push_back(monitor.Prn(e));
    return prns;
  }
  std::vector<int> InUse() const {
    std::vector<int> marks;
    for (const auto& entry : monitor.satellites.entries) marks.push_back(entry.inUse);
    return marks;
  }
  Monitor<Build> monitor;
};
TYPED_TEST_SUITE(DecodeSatellitesTest, BothBuilds);

// A real three-message group (nd-1005 capture), twelve satellites in view.
const char* const kGroupOfThree[] = {
    "$GPGSV,3,1,12,23,65,147,32,20,59,095,26,04,46,290,19,13,37,191,24*73\r\n",
    "$GPGSV,3,2,12,32,32,083,32,17,30,227,18,31,23,042,21,24,16,136,19*71\r\n",
    "$GPGSV,3,3,12,10,14,262,,02,11,306,,25,08,,,12,07,321,15*40\r\n",
};

TYPED_TEST(DecodeSatellitesTest, GsaFixTypeGivesTheStatus) {
  const struct {
    const char* fixType;
    const char* status;
  } cases[] = {{"1", "No Fix"}, {"", "No Fix"}, {"2", "2D"}, {"3", "3D"}, {"4", "No Fix"}, {"32", "3D"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixType);
    ASSERT_EQ(this->monitor.Feed(Sentence(std::string("GPGSA,A,") + c.fixType + ",04,,,,,,,,,,,,2.5,1.3,2.1")), 1);
    EXPECT_EQ(this->monitor.Text(ReadoutField::kStatus), c.status);
    EXPECT_EQ(this->monitor.Text(ReadoutField::kPdop), "2.5");
    EXPECT_EQ(this->monitor.Text(ReadoutField::kHdop), "1.3");
  }
  ASSERT_EQ(this->monitor.Feed(Sentence("GPGSA,A,1,,,,,,,,,,,,,,,")), 1);
  EXPECT_EQ(this->monitor.Text(ReadoutField::kPdop), "");
  EXPECT_EQ(this->monitor.Text(ReadoutField::kHdop), "");
}

TYPED_TEST(DecodeSatellitesTest, GroupOfThreeFillsTheTableAndRepaintsAtItsEnd) {
  auto& m = this->monitor;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(m.Feed(kGroupOfThree[i]), 1);
    EXPECT_EQ(m.intake.lastDecoded(), nmea::Decoded::kGsv);
    EXPECT_EQ(m.repaints, i == 2 ? 1 : 0) << "after message " << i + 1;
  }
  EXPECT_EQ(this->Prns(), (std::vector<std::string>{"23", "20", "04", "13", "32", "17", "31", "24", "10", "02", "25",
                                                    "12"}));
  EXPECT_EQ(m.satellites.satellitesInView, 12);
  const auto& first = m.satellites.entries[0];
  EXPECT_EQ(first.snr, 32);
  // The untracked satellites have an empty signal; "25,08,,," also lacks its azimuth.
  EXPECT_EQ(m.satellites.entries[8].snr, 0);
  EXPECT_EQ(m.satellites.entries[10].snr, 0);
  EXPECT_EQ(m.satellites.entries[10].plotX, 77);
  EXPECT_EQ(m.satellites.entries[10].plotY, 19);  // azimuth read as 0: straight north, 82 degrees off zenith
}

TYPED_TEST(DecodeSatellitesTest, SingleMessageGroupRepaintsEveryTime) {
  auto& m = this->monitor;
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,03,07,79,048,42,08,50,240,40,11,10,170,38")), 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,00")), 1);
  EXPECT_EQ(m.repaints, 2);
  // A message with no satellites fills nothing but still sets the count.
  EXPECT_EQ(m.satellites.satellitesInView, 0);
  EXPECT_EQ(m.Prn(2), kDesktop<TypeParam> ? "" : "11");
  EXPECT_EQ(m.satellites.entries[2].snr, 38);
}

TYPED_TEST(DecodeSatellitesTest, PlotsElevationAndAzimuthAroundTheCentre) {
  const struct {
    const char* elevation;
    const char* azimuth;
    int x;
    int y;
  } cases[] = {
      {"90", "123", 77, 77}, {"0", "0", 77, 14},   {"0", "90", 140, 77}, {"0", "180", 77, 139},
      {"0", "270", 14, 77},  {"45", "45", 99, 54}, {"", "", 77, 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.elevation) + "/" + c.azimuth);
    ASSERT_EQ(this->monitor.Feed(Sentence(std::string("GPGSV,1,1,01,05,") + c.elevation + "," + c.azimuth + ",")), 1);
    const auto& entry = this->monitor.satellites.entries[0];
    EXPECT_EQ(this->monitor.Prn(0), "05");
    EXPECT_EQ(entry.plotX, c.x);
    EXPECT_EQ(entry.plotY, c.y);
    EXPECT_EQ(entry.snr, 0);
  }
}

TYPED_TEST(DecodeSatellitesTest, ASmallerGroupEmptiesTheRestOnlyOnTheDesktop) {
  auto& m = this->monitor;
  for (const char* line : kGroupOfThree) ASSERT_EQ(m.Feed(line), 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSV,2,1,05,23,65,147,33,20,59,095,27,04,46,290,20,13,37,191,25")), 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSV,2,2,05,32,63,063,33")), 1);
  EXPECT_EQ(m.satellites.satellitesInView, 5);
  const auto prns = this->Prns();
  if (kDesktop<TypeParam>) {
    EXPECT_EQ(prns, (std::vector<std::string>{"23", "20", "04", "13", "32", "", "", "", "", "", "", ""}));
  } else {
    EXPECT_EQ(prns, (std::vector<std::string>{"23", "20", "04", "13", "32", "17", "31", "24", "10", "02", "25", "12"}));
  }
  // The emptied entries keep their other values; only the number goes.
  EXPECT_EQ(m.satellites.entries[6].snr, 21);
}

TYPED_TEST(DecodeSatellitesTest, SatellitesWithoutRoomInTheTableAreSkipped) {
  auto& m = this->monitor;
  // Message 4 of 4 and message 0: the count is set and the group end still repaints.
  ASSERT_EQ(m.Feed(Sentence("GPGSV,4,4,14,40,10,100,20,41,20,200,30")), 1);
  EXPECT_EQ(m.satellites.satellitesInView, 14);
  EXPECT_EQ(m.repaints, 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSV,4,0,14,42,10,100,20")), 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSV,4,-1,14,43,10,100,20")), 1);
  for (const auto& prn : this->Prns()) EXPECT_EQ(prn, "");
  // A fifth satellite in one message is ignored.
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,05,01,1,1,1,02,2,2,2,03,3,3,3,04,4,4,4,05,5,5,5")), 1);
  EXPECT_EQ(this->Prns(), (std::vector<std::string>{"01", "02", "03", "04", "", "", "", "", "", "", "", ""}));
}

TYPED_TEST(DecodeSatellitesTest, SignalIdAfterTheLastSatelliteIsNoSatellite) {
  auto& m = this->monitor;
  // A receiver that adds the signal id ("1") before the checksum; the second
  // message is one of its real ones.
  ASSERT_EQ(m.Feed(Sentence("GPGSV,3,1,11,01,36,123,40,13,21,278,38,17,60,274,41,24,10,010,20,1")), 1);
  ASSERT_EQ(m.Feed("$GPGSV,3,3,11,24,,,,39,,,34,46,,,49,1*60\r\n"), 1);
  EXPECT_EQ(this->Prns()[8], "24");
  EXPECT_EQ(this->Prns()[10], "46");
  EXPECT_EQ(this->Prns()[11], "");
  EXPECT_EQ(m.satellites.entries[10].snr, 49);
}

TYPED_TEST(DecodeSatellitesTest, SatelliteNumbersKeepThreeCharacters) {
  auto& m = this->monitor;
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,04,122,30,200,40,193,40,100,35,7,10,10,10,12345,5,5,5")), 1);
  EXPECT_EQ(this->Prns()[0], "122");
  EXPECT_EQ(this->Prns()[1], "193");
  EXPECT_EQ(this->Prns()[2], "7");
  EXPECT_EQ(this->Prns()[3], "123");
  // The whole slot text is compared: "12345" does not mark the entry cut to "123".
  ASSERT_EQ(m.Feed(Sentence("GPGSA,A,3,193,12345,07,7,,,,,,,,,1.0,1.0,1.0")), 1);
  EXPECT_EQ(this->InUse(), (std::vector<int>{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TYPED_TEST(DecodeSatellitesTest, GsaMarksTheFirstEntryWithExactlyTheListedNumber) {
  auto& m = this->monitor;
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,04,04,10,10,10,4,10,10,10,09,10,10,10,04,10,10,10")), 1);
  ASSERT_EQ(m.Feed(Sentence("GPGSA,A,3,04,09,,,,,,,,,,,1.0,1.0,1.0")), 1);
  EXPECT_EQ(this->InUse(), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Every GSA starts from no marks.
  ASSERT_EQ(m.Feed(Sentence("GPGSA,A,3,4,,,,,,,,,,,,1.0,1.0,1.0")), 1);
  EXPECT_EQ(this->InUse(), (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TYPED_TEST(DecodeSatellitesTest, DesktopMarksOnlyAmongTheSatellitesInView) {
  auto& m = this->monitor;
  // Before any GSV the count is 0.
  ASSERT_EQ(m.Feed("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"), 1);
  EXPECT_EQ(this->InUse(), std::vector<int>(12, 0));
  // Four entries filled but a count of 2: the desktop looks at the first two only.
  ASSERT_EQ(m.Feed(Sentence("GPGSV,1,1,02,04,10,10,10,05,10,10,10,09,10,10,10,12,10,10,10")), 1);
  ASSERT_EQ(m.Feed("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"), 1);
  const std::vector<int> expected =
      kDesktop<TypeParam> ? std::vector<int>{1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                          : std::vector<int>{1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(this->InUse(), expected);
  EXPECT_EQ(m.repaints, kDesktop<TypeParam> ? 3 : 1);
}

}  // namespace
}  // namespace trelvane::testing
