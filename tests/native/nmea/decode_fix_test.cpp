// GGA, GST and RMC read into numbers, for both character types. Lines are
// taken from the bundled captures (file named beside each) unless built by
// Sentence(); the expected values are worked out from the fields by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "nmea/decode_fix.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

using nmea::Reading;

constexpr double kNo = std::numeric_limits<double>::quiet_NaN();  // the field is absent

void ExpectReading(const Reading& got, double want, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(got.present, !std::isnan(want));
  if (got.present && !std::isnan(want)) {
    EXPECT_DOUBLE_EQ(got.value, want);
  }
}

template <class Build>
class DecodeFixTest : public ::testing::Test {
 protected:
  using Ch = typename Build::Char;

  const nmea::SentenceFields<Ch>& Index(const std::string& line) {
    text_ = Widen<Ch>(line);
    EXPECT_TRUE(nmea::IndexFields(text_.c_str(), fields_));
    return fields_;
  }

  std::basic_string<Ch> text_;  // what fields_ points into
  nmea::SentenceFields<Ch> fields_;
};
TYPED_TEST_SUITE(DecodeFixTest, BothBuilds);

TYPED_TEST(DecodeFixTest, ReadsADecimalNumberWithoutTheLocale) {
  const struct {
    const char* text;
    int used;
    double value;
  } cases[] = {
      {"12.5", 4, 12.5},     {"-0.25,", 5, -0.25}, {"+3*", 2, 3},      {"17444.", 6, 17444},
      {".5", 2, 0.5},        {"1.2.3", 3, 1.2},    {"1e5", 1, 1},      {"0000.0000", 9, 0},
      {"3644.759368", 11, 3644.759368},            {"12345678901234567890", 20, 12345678901234567890.0},
      {"", 0, 7},            {".", 0, 7},          {"-", 0, 7},        {" 1", 0, 7},
      {"1,5", 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double value = 7;  // left alone when no number stands there
    EXPECT_EQ(nmea::ReadDecimal(Widen<typename TypeParam::Char>(c.text).c_str(), value), c.used);
    EXPECT_DOUBLE_EQ(value, c.value);
  }
}

struct GgaCase {
  std::string line;
  double time, latitude, longitude;
  int quality, satellites;
  double hdop, altitude, geoid, age;
};

TYPED_TEST(DecodeFixTest, ReadsEachGgaFieldOrLeavesItAbsent) {
  const GgaCase cases[] = {
      // ublox-zed-f9p-nmea.log
      {"$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56", 39 * 60 + 56,
       -(45 + 52.65403 / 60), 170 + 30.00668 / 60, 1, 12, 0.64, 14.2, 1.8, kNo},
      // ublox-neo-m9n-nmea.log: differential fix, negative geoid separation, station but no age
      {"$GNGGA,223745.00,3806.62964,N,12237.61382,W,2,12,0.54,83.1,M,-29.5,M,,0000*44",
       22 * 3600 + 37 * 60 + 45, 38 + 6.62964 / 60, -(122 + 37.61382 / 60), 2, 12, 0.54, 83.1, -29.5, kNo},
      // beidou-gb.log: no position yet
      {"$GPGGA,053229.438,,,,,0,00,,,M,0.0,M,,0000*56", 5 * 3600 + 32 * 60 + 29.438, kNo, kNo, 0, 0, kNo, kNo, 0,
       kNo},
      // myguide-3100.log: empty quality and geoid separation
      {"$GPGGA,105025.80,5612.9999,N,00306.7096,W,,2,60.000,160.002,M,,M,,*56", 10 * 3600 + 50 * 60 + 25.8,
       56 + 12.9999 / 60, -(3 + 6.7096 / 60), -1, 2, 60, 160.002, kNo, kNo},
      // bundg_zeus_9.log: whole seconds, whole metres below sea level
      {"$GPGGA,094736,5251.0094,N,00518.8172,E,1,12,0.60,-4,M,46.8,M,,*4B", 9 * 3600 + 47 * 60 + 36,
       52 + 51.0094 / 60, 5 + 18.8172 / 60, 1, 12, 0.6, -4, 46.8, kNo},
      // quectel.log: six digits of minutes
      {"$GPGGA,022021.00,3644.759368,S,17444.072860,E,1,07,1.1,56.1,M,37.0,M,,*49", 2 * 3600 + 20 * 60 + 21,
       -(36 + 44.759368 / 60), 174 + 44.072860 / 60, 1, 7, 1.1, 56.1, 37, kNo},
      // sirfstarv-nmea.log: the GLONASS talker
      {"$GLGGA,020935.000,4404.1351,N,12118.8556,W,1,02,0.9,1123.9,M,-19.6,M,,0000*48", 2 * 3600 + 9 * 60 + 35,
       44 + 4.1351 / 60, -(121 + 18.8556 / 60), 1, 2, 0.9, 1123.9, -19.6, kNo},
      // gp-320fw-2019-04-07-coldboot.log: zero padding, a longitude with a digit too many
      {"$GPGGA,000343.03,4808.9993,N,01135.0798,E,1,04,01.4,00460.0,M,0046.2,M,,*56", 3 * 60 + 43.03,
       48 + 8.9993 / 60, 11 + 35.0798 / 60, 1, 4, 1.4, 460, 46.2, kNo},
      {"$GPGGA,000413.00,0000.0000,N,000000.0000,E,0,00,0.0,,M,,M,,*5E", 4 * 60 + 13, 0, 0, 0, 0, 0, kNo, kNo, kNo},
      {Sentence("GPGGA,092750.000,5321.6802,N,00630.3372,W,2,8,1.03,61.7,M,55.2,M,3.4,0120"), 9 * 3600 + 27 * 60 + 50,
       53 + 21.6802 / 60, -(6 + 30.3372 / 60), 2, 8, 1.03, 61.7, 55.2, 3.4},
      // Garbled numbers are absent, not zero; a sign is a number's own.
      {Sentence("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8x,1.0.3,61.7m,M,-,M,+3.4,"), 9 * 3600 + 27 * 60 + 50,
       53 + 21.6802 / 60, -(6 + 30.3372 / 60), 1, -1, kNo, kNo, kNo, 3.4},
      // A position needs its hemisphere, minutes under 60 and degrees in range; no sign of its own.
      {Sentence("GPGGA,092750,5321.6802,,00630.3372,w,1,8,,,M,,M,,"), 9 * 3600 + 27 * 60 + 50, kNo, kNo, 1, 8, kNo,
       kNo, kNo, kNo},
      {Sentence("GPGGA,092750,5360.0000,N,18030.0000,E,1,8,,,M,,M,,"), 9 * 3600 + 27 * 60 + 50, kNo, kNo, 1, 8, kNo,
       kNo, kNo, kNo},
      {Sentence("GPGGA,092750,-5321.6802,S,00630.3372,WW,1,8,,,M,,M,,"), 9 * 3600 + 27 * 60 + 50, kNo, kNo, 1, 8,
       kNo, kNo, kNo, kNo},
      {Sentence("GPGGA,092750,9000.0000,S,18000.0000,W,1,8,,,M,,M,,"), 9 * 3600 + 27 * 60 + 50, -90, -180, 1, 8,
       kNo, kNo, kNo, kNo},
      {Sentence("GPGGA,092750,21.68,N,1.5,E,1,8,,,M,,M,,"), 9 * 3600 + 27 * 60 + 50, kNo, kNo, 1, 8, kNo, kNo, kNo,
       kNo},
      // Times: six digits, an hour of the day, a fraction or none.
      {Sentence("GPGGA,235960.,0000.0000,N,00000.0000,E,0,00,,,M,,M,,"), 23 * 3600 + 59 * 60 + 60, 0, 0, 0, 0, kNo,
       kNo, kNo, kNo},
      {Sentence("GPGGA,09:27:50,,,,,0,00,,,M,,M,,"), kNo, kNo, kNo, 0, 0, kNo, kNo, kNo, kNo},
      {Sentence("GPGGA,240000.00,,,,,0,00,,,M,,M,,"), kNo, kNo, kNo, 0, 0, kNo, kNo, kNo, kNo},
      {Sentence("GPGGA,92750.00,,,,,0,00,,,M,,M,,"), kNo, kNo, kNo, 0, 0, kNo, kNo, kNo, kNo},
      {Sentence("GPGGA,092750.5x,,,,,0,00,,,M,,M,,"), kNo, kNo, kNo, 0, 0, kNo, kNo, kNo, kNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    nmea::GgaFix fix;
    ASSERT_TRUE(nmea::DecodeGga(this->Index(c.line), fix));
    ExpectReading(fix.time, c.time, "time");
    ExpectReading(fix.latitude, c.latitude, "latitude");
    ExpectReading(fix.longitude, c.longitude, "longitude");
    EXPECT_EQ(fix.quality, c.quality);
    EXPECT_EQ(fix.satellites, c.satellites);
    ExpectReading(fix.hdop, c.hdop, "hdop");
    ExpectReading(fix.altitude, c.altitude, "altitude");
    ExpectReading(fix.geoidSeparation, c.geoid, "geoid separation");
    ExpectReading(fix.differentialAge, c.age, "differential age");
  }
}

TYPED_TEST(DecodeFixTest, QualityIsOneDigitFromZeroToEight) {
  const struct {
    const char* field;
    int quality;
  } cases[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"5", 5}, {"6", 6}, {"7", 7}, {"8", 8},
               {"08", 8}, {"9", -1}, {"", -1}, {"1.0", -1}, {"-1", -1}, {"+1", -1}, {"A", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    nmea::GgaFix fix;
    const std::string line = Sentence(std::string("GNGGA,003956.00,4552.65403,S,17030.00668,E,") + c.field +
                                      ",12,0.64,14.2,M,1.8,M,,");
    ASSERT_TRUE(nmea::DecodeGga(this->Index(line), fix));
    EXPECT_EQ(fix.quality, c.quality);
  }
}

struct GstCase {
  std::string line;
  double time, rms, major, minor, orientation, latitude, longitude, altitude;
};

TYPED_TEST(DecodeFixTest, ReadsEachGstField) {
  const GstCase cases[] = {
      // ublox-zed-f9p-nmea.log: no error ellipse
      {"$GNGST,003956.00,235111,,,,2.3,3.5,4.0*46", 39 * 60 + 56, 235111, kNo, kNo, kNo, 2.3, 3.5, 4},
      // ublox-neo-m9n-nmea.log
      {"$GNGST,223752.00,837,2.5,2.4,130,0.98,0.99,3.0*47", 22 * 3600 + 37 * 60 + 52, 837, 2.5, 2.4, 130, 0.98, 0.99,
       3},
      {Sentence("GPGST,,,,,,,,"), kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo},
      {Sentence("GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.0.20,x"), 17 * 3600 + 28 * 60 + 14, 0.006, 0.023,
       0.02, 273.6, 0.023, kNo, kNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    nmea::GstReport report;
    ASSERT_TRUE(nmea::DecodeGst(this->Index(c.line), report));
    ExpectReading(report.time, c.time, "time");
    ExpectReading(report.rms, c.rms, "rms");
    ExpectReading(report.semiMajor, c.major, "semi-major");
    ExpectReading(report.semiMinor, c.minor, "semi-minor");
    ExpectReading(report.orientation, c.orientation, "orientation");
    ExpectReading(report.latitudeSigma, c.latitude, "latitude sigma");
    ExpectReading(report.longitudeSigma, c.longitude, "longitude sigma");
    ExpectReading(report.altitudeSigma, c.altitude, "altitude sigma");
  }
}

struct RmcCase {
  std::string line;
  double time, latitude, longitude;
  bool valid;
};

TYPED_TEST(DecodeFixTest, ReadsTheRmcTimeStatusAndPosition) {
  const RmcCase cases[] = {
      // ublox-zed-f9p-nmea.log: NMEA 4.10, 13 fields after the identifier
      {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07", 39 * 60 + 56, -(45 + 52.65403 / 60),
       170 + 30.00668 / 60, true},
      // nd-1005.log: NMEA 2.3
      {"$GPRMC,110533.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*6C", 11 * 3600 + 5 * 60 + 33,
       57 + 9.8067 / 60, -(2 + 7.2822 / 60), true},
      // gp-320fw-2019-04-07-coldboot.log: no fix, zeros for a position
      {"$GPRMC,235948.00,V,0000.0000,N,00000.0000,E,,,161206,,,N*45", 23 * 3600 + 59 * 60 + 48, 0, 0, false},
      // NMEA 2.0, 11 fields
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", 12 * 3600 + 35 * 60 + 19,
       48 + 7.038 / 60, 11 + 31.0 / 60, true},
      {"$GPRMC,,V,,,,,,,,,,N*53", kNo, kNo, kNo, false},
      {Sentence("GPRMC,123519,a,4807.038,N,01131.000,E,,,230394,,"), 12 * 3600 + 35 * 60 + 19, 48 + 7.038 / 60,
       11 + 31.0 / 60, false},
      {Sentence("GPRMC,123519,AA,4807.038,N,01131.000,E,,,230394,,"), 12 * 3600 + 35 * 60 + 19, 48 + 7.038 / 60,
       11 + 31.0 / 60, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    nmea::RmcFix fix;
    ASSERT_TRUE(nmea::DecodeRmcFix(this->Index(c.line), fix));
    ExpectReading(fix.time, c.time, "time");
    ExpectReading(fix.latitude, c.latitude, "latitude");
    ExpectReading(fix.longitude, c.longitude, "longitude");
    EXPECT_EQ(fix.valid, c.valid);
  }
}

// Each decoder reads a sentence only at a field count its sentence can have
// (they never look at the identifier), and leaves its result alone otherwise.
TYPED_TEST(DecodeFixTest, FieldCountDecidesWhichDecoderReads) {
  const struct {
    std::string line;
    bool gga, gst, rmc;
  } cases[] = {
      {"$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56", true, false, false},
      {"$GNGST,003956.00,235111,,,,2.3,3.5,4.0*46", false, true, false},
      {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07", false, false, true},
      {"$GPRMC,110533.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*6C", false, false, true},
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", false, false, true},
      // gp-320fw-2019-04-07-coldboot.log: fields lost, and a sentence run into the next
      {"$GPGGA,000429.00,0000.0000,N,00000.0000,E,,,M,,M,,*52", false, false, true},
      {"$GPGGA,235955.00,0000.0000,N,00000.0000,E,0,00,0.0,,M,,,,,,,,,,,*1E", false, false, false},
      {Sentence("GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020"), false, false, false},
      {Sentence("GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031,1"), false, false, false},
      {Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4"), false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto& fields = this->Index(c.line);
    nmea::GgaFix gga;
    gga.quality = 42;
    nmea::GstReport gst;
    gst.rms.value = 42;
    nmea::RmcFix rmc;
    rmc.time.value = 42;
    EXPECT_EQ(nmea::DecodeGga(fields, gga), c.gga);
    EXPECT_EQ(nmea::DecodeGst(fields, gst), c.gst);
    EXPECT_EQ(nmea::DecodeRmcFix(fields, rmc), c.rmc);
    // A decoder that read nothing leaves its result alone.
    EXPECT_EQ(gga.quality == 42, !c.gga);
    EXPECT_EQ(gst.rms.value == 42, !c.gst);
    EXPECT_EQ(rmc.time.value == 42, !c.rmc);
  }
}

template <class Build>
class FixIntakeTest : public ::testing::Test {};
TYPED_TEST_SUITE(FixIntakeTest, BothBuilds);

// Which lines give a fix: GGA and GST only where they start the line, RMC
// wherever the readout takes one, and only at a field count each can have.
TYPED_TEST(FixIntakeTest, TakesFixesFromTheLinesItDecodes) {
  const struct {
    std::string line;
    nmea::FixSentence fix;
  } cases[] = {
      {"$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n", nmea::FixSentence::kGga},
      {Sentence("GAGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031"), nmea::FixSentence::kGst},
      {Sentence("PXXX,$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"), nmea::FixSentence::kRmc},
      {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07\r\n", nmea::FixSentence::kRmc},
      {Sentence("PXXX,$GNGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,"), nmea::FixSentence::kNone},
      {Sentence("XXGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,"), nmea::FixSentence::kNone},
      {Sentence("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,"), nmea::FixSentence::kNone},
      {Sentence("GPRMC,123519,A,4807.038,N,01131.000,E"), nmea::FixSentence::kNone},
      {"$GPVTG,,T,,M,0.00,N,0.0,K,A*13\r\n", nmea::FixSentence::kNone},
  };
  Monitor<TypeParam> m;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(m.Feed(c.line), 1);
    EXPECT_EQ(m.intake.lastFix(), c.fix);
  }
  EXPECT_DOUBLE_EQ(m.intake.gst().altitudeSigma.value, 0.031);
  EXPECT_DOUBLE_EQ(m.intake.gga().latitude.value, 53 + 21.6802 / 60);  // the spliced $GNGGA was not read
  EXPECT_DOUBLE_EQ(m.intake.rmcFix().latitude.value, -(45 + 52.65403 / 60));
}

// A real capture line by line: every GGA, GST and RMC is read, and the
// values at one of each are what the receiver sent.
TYPED_TEST(FixIntakeTest, ReadsEachFixOfACapture) {
  const std::string capture = ReadCapture("multi/ublox-zed-f9p-nmea.log");
  ASSERT_FALSE(capture.empty());
  Monitor<TypeParam> m;
  int seen[4] = {};       // lines that gave each FixSentence
  int starting[4] = {};   // lines that start with a GGA, GST or RMC
  std::size_t from = 0;
  for (std::size_t end; (end = capture.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = capture.substr(from, end + 1 - from);
    if (line[0] == '#') continue;
    ASSERT_EQ(m.Feed(line), 1) << line;
    const auto fix = m.intake.lastFix();
    ++seen[static_cast<int>(fix)];
    const std::string kind = line.substr(3, 4);
    ++starting[kind == "GGA," ? 1 : kind == "GST," ? 2 : kind == "RMC," ? 3 : 0];
    if (line.compare(0, 17, "$GNGGA,003957.00,") == 0) {
      SCOPED_TRACE(line);
      EXPECT_EQ(fix, nmea::FixSentence::kGga);
      const nmea::GgaFix& gga = m.intake.gga();
      ExpectReading(gga.time, 39 * 60 + 57, "time");
      ExpectReading(gga.latitude, -(45 + 52.65403 / 60), "latitude");
      ExpectReading(gga.longitude, 170 + 30.00673 / 60, "longitude");
      EXPECT_EQ(gga.quality, 1);
      EXPECT_EQ(gga.satellites, 12);
      ExpectReading(gga.hdop, 0.64, "hdop");
      ExpectReading(gga.altitude, 14.2, "altitude");
      ExpectReading(gga.geoidSeparation, 1.8, "geoid");
      ExpectReading(gga.differentialAge, kNo, "age");
    } else if (line.compare(0, 17, "$GNGST,003957.00,") == 0) {
      SCOPED_TRACE(line);
      EXPECT_EQ(fix, nmea::FixSentence::kGst);
      const nmea::GstReport& gst = m.intake.gst();
      ExpectReading(gst.time, 39 * 60 + 57, "time");
      ExpectReading(gst.rms, 348874, "rms");
      ExpectReading(gst.semiMajor, kNo, "semi-major");
      ExpectReading(gst.latitudeSigma, 2.3, "latitude sigma");
      ExpectReading(gst.altitudeSigma, 4.0, "altitude sigma");
    } else if (line.compare(0, 17, "$GNRMC,003957.00,") == 0) {
      SCOPED_TRACE(line);
      EXPECT_EQ(fix, nmea::FixSentence::kRmc);
      ExpectReading(m.intake.rmcFix().longitude, 170 + 30.00673 / 60, "longitude");
      EXPECT_TRUE(m.intake.rmcFix().valid);
    }
  }
  EXPECT_EQ(starting[1], 29);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(seen[k], starting[k]) << "fix sentence " << k;
}

}  // namespace
}  // namespace trelvane::testing
