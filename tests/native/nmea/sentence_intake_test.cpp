// Sentence intake: the checksum test, the log pane, the busy flag and dispatch.
#include <gtest/gtest.h>

#include <string>

#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

template <class Build>
class SentenceIntakeTest : public ::testing::Test {
 protected:
  Monitor<Build> monitor;
};
TYPED_TEST_SUITE(SentenceIntakeTest, BothBuilds);

struct ChecksumCase {
  const char* what;
  std::string line;
  int result;
};

TYPED_TEST(SentenceIntakeTest, AcceptsOnlyLinesWhoseChecksumIsRight) {
  const std::string gga = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";
  const ChecksumCase cases[] = {
      {"real sentence", gga, 1},
      {"upper-case hex digits", "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n", 1},
      {"lower-case hex digits", "$PSRF151,00*0e\r\n", 1},
      {"wrong checksum", "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*77\r\n", 0},
      {"line feed without carriage return", gga.substr(0, gga.size() - 2) + "\n", 0},
      {"no checksum", "$GPGGA,092750.000,5321.6802,N\r\n", 0},
      {"checksum digit not hexadecimal", "$GPGSA,A,3*2G\r\n", 0},
      {"checksum digit a space", "$GPGSA,A,3* 2\r\n", 0},
      {"shorter than five characters", "*0\r\n", 0},
      {"empty line", "\r\n", 0},
      {"nothing between first character and star", "$*00\r\n", 1},
      {"first character is never summed", "#GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n", 1},
      {"a zero byte ends the line", std::string("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1", 45) + '\0' + "*39\r\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Monitor<TypeParam> fresh;
    EXPECT_EQ(fresh.intake.HandleSentence(Widen<typename TypeParam::Char>(c.line).c_str()), c.result);
    // A rejected line leaves no trace; an accepted one is logged as received.
    EXPECT_EQ(Utf8(fresh.log.text.c_str()), c.result == 1 ? c.line : "");
  }
}

TYPED_TEST(SentenceIntakeTest, RejectsLinesLongerThanTheWorkingCopyUnlogged) {
  // A well-formed sentence padded to exactly 255 characters still fits.
  std::string body = "GPTXT,";
  while (Sentence(body).size() < 255) body += 'x';
  const std::string fits = Sentence(body);
  ASSERT_EQ(fits.size(), 255u);
  EXPECT_EQ(this->monitor.Feed(fits), 1);

  const std::string tooLong = Sentence(body + "x");
  ASSERT_EQ(tooLong.size(), 256u);
  this->monitor.log.text.clear();
  EXPECT_EQ(this->monitor.Feed(tooLong), 0);
  EXPECT_TRUE(this->monitor.log.text.empty());
}

TYPED_TEST(SentenceIntakeTest, LogPaneHoldsAHundredSentencesThenStartsAfresh) {
  const std::string vtg = "$GPVTG,,T,,M,0.00,N,0.0,K,A*13\r\n";
  for (int i = 0; i < 100; ++i) ASSERT_EQ(this->monitor.Feed(vtg), 1);
  EXPECT_EQ(this->monitor.log.LineCount(), 101);

  // The 101st finds 101 lines, clears the pane and is then its only line.
  const std::string gga = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";
  EXPECT_EQ(this->monitor.Feed(gga), 1);
  EXPECT_EQ(Utf8(this->monitor.log.text.c_str()), gga);
}

TYPED_TEST(SentenceIntakeTest, OtherSentencesAreLoggedButChangeNothing) {
  EXPECT_EQ(this->monitor.Feed("$GPVTG,,T,,M,0.00,N,0.0,K,A*13\r\n"), 1);
  EXPECT_EQ(this->monitor.Feed("$PSRF151,01*0F\r\n"), 1);
  EXPECT_EQ(this->monitor.intake.lastDecoded(), nmea::Decoded::kNone);
  EXPECT_EQ(this->monitor.repaints, 0);
  for (int f = 0; f < nmea::kReadoutFieldCount; ++f) EXPECT_EQ(this->monitor.Text(ReadoutField(f)), "");
}

TYPED_TEST(SentenceIntakeTest, DispatchesOnTheIdentifierAnywhereInTheLine) {
  struct {
    std::string line;
    nmea::Decoded decoded;
  } const cases[] = {
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", nmea::Decoded::kRmc},
      {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n", nmea::Decoded::kGsa},
      {"$GPGSV,1,1,00*79\r\n", nmea::Decoded::kGsv},
      // Intake looks for the identifier as a substring, RMC first.
      {Sentence("PXXX,$GPGSA,$GPRMC"), nmea::Decoded::kRmc},
      {Sentence("GPGSVX,$GPGSA"), nmea::Decoded::kGsa},
      {Sentence("GNRMC,123519,A"), nmea::Decoded::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(this->monitor.Feed(c.line), 1);
    EXPECT_EQ(this->monitor.intake.lastDecoded(), c.decoded);
  }
}

// While a sentence is being decoded, a sentence that re-enters intake (here
// from the repaint request) is logged but not decoded, and returns 0.
TYPED_TEST(SentenceIntakeTest, SentenceArrivingWhileDecodingIsLoggedNotDecoded) {
  auto& m = this->monitor;
  const std::string gsv = Sentence("GPGSV,1,1,01,07,79,048,42");
  const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
  bool reentered = false;
  int innerResult = -1;
  int decodingSeen = -1;
  m.onRepaint = [&] {
    if (reentered) return;
    reentered = true;
    decodingSeen = m.intake.decoding();
    innerResult = m.Feed(rmc);
  };
  EXPECT_EQ(m.Feed(gsv), 1);
  EXPECT_EQ(decodingSeen, 1);
  EXPECT_EQ(innerResult, 0);
  EXPECT_EQ(Utf8(m.log.text.c_str()), gsv + rmc);
  EXPECT_EQ(m.Text(ReadoutField::kDate), "");

  // The flag is never left set: the same sentence decodes once intake is free.
  EXPECT_EQ(m.intake.decoding(), 0);
  EXPECT_EQ(m.Feed(rmc), 1);
  EXPECT_EQ(m.Text(ReadoutField::kDate), "2094/03/23");
}

}  // namespace
}  // namespace trelvane::testing
