// GGA, GST and RMC read into numbers, for both character types. Lines are
// taken from the bundled captures (file named beside each) unless built by
// Sentence(); the expected values are worked out from the fields by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "nmea/decode_fix.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

constexpr double kNo = std::numeric_limits<double>::quiet_NaN();  // absent
double V(const nmea::Reading& r) { return r.present ? r.value : kNo; }

// A decoded sentence as its struct's members in order (the counts as they are, valid as 1 or 0).
std::vector<double> Flat(const nmea::GgaFix& x) {
  return {V(x.time), V(x.latitude), V(x.longitude), double(x.quality), double(x.satellites),
          V(x.hdop), V(x.altitude), V(x.geoidSeparation), V(x.differentialAge)};
}
std::vector<double> Flat(const nmea::GstReport& x) {
  return {V(x.time),        V(x.rms),           V(x.semiMajor),      V(x.semiMinor),
          V(x.orientation), V(x.latitudeSigma), V(x.longitudeSigma), V(x.altitudeSigma)};
}
std::vector<double> Flat(const nmea::RmcFix& x) {
  return {V(x.time), V(x.latitude), V(x.longitude), double(x.valid), V(x.speed), V(x.course), V(x.date)};
}
std::vector<double> Flat(const nmea::GsaFix& x) { return {double(x.mode), V(x.pdop), V(x.hdop), V(x.vdop)}; }

void ExpectValues(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "member " << i << " is " << got[i];
    } else {
      EXPECT_DOUBLE_EQ(got[i], want[i]) << "member " << i;
    }
  }
}

// A member that a decoder which does not read the sentence leaves alone.
template <class Fix>
nmea::Reading& FirstReading(Fix& fix) {
  return fix.time;
}
nmea::Reading& FirstReading(nmea::GsaFix& fix) { return fix.pdop; }

// What a decoder made of the sentence, or nothing when it would not read it
// (its struct then left as it was).
template <class Fix, class Ch>
std::vector<double> Read(bool (*decode)(const nmea::SentenceFields<Ch>&, Fix&), const std::string& line) {
  const std::basic_string<Ch> text = Widen<Ch>(line);
  nmea::SentenceFields<Ch> fields;
  EXPECT_TRUE(nmea::IndexFields(text.c_str(), fields));
  Fix fix;
  nmea::Reading& first = FirstReading(fix);
  first.value = 42;
  if (decode(fields, fix)) return Flat(fix);
  EXPECT_EQ(first.value, 42);
  return {};
}

template <class Build>
class DecodeFixTest : public ::testing::Test {};
TYPED_TEST_SUITE(DecodeFixTest, BothBuilds);

TYPED_TEST(DecodeFixTest, ReadsADecimalNumberWithoutTheLocale) {
  const struct { const char* text; int used; double value; } cases[] = {
      {"-0.25,", 5, -0.25}, {"+3*", 2, 3}, {"17444.", 6, 17444}, {".5", 2, 0.5}, {"1,5", 1, 1},
      {"12345678901234567890", 20, 12345678901234567890.0}, {".", 0, 7}, {"-", 0, 7}, {" 1", 0, 7}};
  for (const auto& c : cases) {
    double value = 7;  // left alone when no number stands there
    EXPECT_EQ(nmea::ReadDecimal(Widen<typename TypeParam::Char>(c.text).c_str(), value), c.used) << c.text;
    EXPECT_DOUBLE_EQ(value, c.value) << c.text;
  }
}

// G: GGA (time, lat, lon, quality, satellites, HDOP, altitude, geoid, age), S: GST, R: RMC (time, lat, lon,
// valid, knots, course, yyyymmdd), A: GSA (fix type, PDOP, HDOP, VDOP). No values: not read.
TYPED_TEST(DecodeFixTest, ReadsEachFieldOrLeavesItAbsent) {
  const std::string gga = "GPGGA,092750.000,5321.6802,N,00630.3372,W,";  // + quality onwards
  const double t = 9 * 3600 + 27 * 60 + 50, lat = 53 + 21.6802 / 60, lon = -(6 + 30.3372 / 60);
  const struct { char kind; std::string line; std::vector<double> want; } cases[] = {
      {'G', "$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56",  // ublox-zed-f9p-nmea.log
       {39 * 60 + 56, -(45 + 52.65403 / 60), 170 + 30.00668 / 60, 1, 12, 0.64, 14.2, 1.8, kNo}},
      {'G', "$GNGGA,223745.00,3806.62964,N,12237.61382,W,2,12,0.54,83.1,M,-29.5,M,,0000*44",  // ublox-neo-m9n
       {22 * 3600 + 37 * 60 + 45, 38 + 6.62964 / 60, -(122 + 37.61382 / 60), 2, 12, 0.54, 83.1, -29.5, kNo}},
      {'G', "$GPGGA,053229.438,,,,,0,00,,,M,0.0,M,,0000*56",  // beidou-gb.log
       {5 * 3600 + 32 * 60 + 29.438, kNo, kNo, 0, 0, kNo, kNo, 0, kNo}},
      {'G', "$GPGGA,105025.80,5612.9999,N,00306.7096,W,,2,60.000,160.002,M,,M,,*56",  // myguide-3100.log
       {10 * 3600 + 50 * 60 + 25.8, 56 + 12.9999 / 60, -(3 + 6.7096 / 60), -1, 2, 60, 160.002, kNo, kNo}},
      {'G', "$GPGGA,094736,5251.0094,N,00518.8172,E,1,12,0.60,-4,M,46.8,M,,*4B",  // bundg_zeus_9.log
       {9 * 3600 + 47 * 60 + 36, 52 + 51.0094 / 60, 5 + 18.8172 / 60, 1, 12, 0.6, -4, 46.8, kNo}},
      {'G', "$GPGGA,000413.00,0000.0000,N,000000.0000,E,0,00,0.0,,M,,M,,*5E",  // gp-320fw-2019-04-07-coldboot.log
       {4 * 60 + 13, 0, 0, 0, 0, 0, kNo, kNo, kNo}},
      {'G', "$GPGGA,000429.00,0000.0000,N,00000.0000,E,,,M,,M,,*52", {}},  // gp-320fw: fields lost
      {'G', "$GPGGA,235955.00,0000.0000,N,00000.0000,E,0,00,0.0,,M,,,,,,,,,,,*1E", {}},  // and fields run on
      {'G', Sentence(gga + "2,8,1.03,61.7,M,55.2,M,3.4,0120"), {t, lat, lon, 2, 8, 1.03, 61.7, 55.2, 3.4}},
      {'G', Sentence(gga + "9,8x,1.0.3,61.7m,M,-,M,+3.4,"), {t, lat, lon, -1, -1, kNo, kNo, kNo, 3.4}},
      {'G', Sentence("GPGGA,240000,5321.68,,-0630.33,W,1.0,,,,M,,M,,"), {kNo, kNo, kNo, -1, -1, kNo, kNo, kNo, kNo}},
      {'G', Sentence("GPGGA,92750,5360.0000,N,18030.0000,E,,,,,M,,M,,"), {kNo, kNo, kNo, -1, -1, kNo, kNo, kNo, kNo}},
      {'G', Sentence("GPGGA,235960.,9000.0,S,18000,W,,,,,M,,M,,"), {86400, -90, -180, -1, -1, kNo, kNo, kNo, kNo}},
      {'G', Sentence("GPGGA,09:27:50,21.68,N,00630.3372,WW,,,,,M,,M,,"), {kNo, kNo, kNo, -1, -1, kNo, kNo, kNo, kNo}},
      {'S', "$GNGST,003956.00,235111,,,,2.3,3.5,4.0*46", {39 * 60 + 56, 235111, kNo, kNo, kNo, 2.3, 3.5, 4}},
      {'S', "$GNGST,223752.00,837,2.5,2.4,130,0.98,0.99,3.0*47",
       {22 * 3600 + 37 * 60 + 52, 837, 2.5, 2.4, 130, 0.98, 0.99, 3}},
      {'S', Sentence("GPGST,092750.5x,0.006,,,,0.0.2,x,"), {kNo, 0.006, kNo, kNo, kNo, kNo, kNo, kNo}},
      {'S', Sentence("GPGST,092750,0.006,0.023,0.020,273.6,0.023,0.020"), {}},
      {'S', Sentence("GPGST,092750,0.006,0.023,0.020,273.6,0.023,0.020,0.031,1"), {}},
      {'R', "$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07",  // ublox-zed-f9p-nmea.log
       {39 * 60 + 56, -(45 + 52.65403 / 60), 170 + 30.00668 / 60, 1, 0.025, kNo, 20190412}},
      {'R', "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
       {12 * 3600 + 35 * 60 + 19, 48 + 7.038 / 60, 11 + 31.0 / 60, 1, 22.4, 84.4, 20940323}},
      {'R', "$GNRMC,053229.438,V,,,,,,,020315,,,N*56", {5 * 3600 + 32 * 60 + 29.438, kNo, kNo, 0, kNo, kNo, 20150302}},
      {'R', "$GPRMC,,V,,,,,,,,,,N*53", {kNo, kNo, kNo, 0, kNo, kNo, kNo}},
      {'R', Sentence("GPRMC,000000,AA,0000.0,S,00000.0,W,,,,,"), {0, 0, 0, 0, kNo, kNo, kNo}},
      {'R', Sentence("GPRMC,000000,A,,,,,1.5x,-3,000000,,"), {0, kNo, kNo, 1, kNo, -3, kNo}},
      {'R', Sentence("GPRMC,000000,A,,,,,,,321399,,"), {0, kNo, kNo, 1, kNo, kNo, kNo}},
      {'R', Sentence("GPRMC,000000,A,,,,,,,31129,,"), {0, kNo, kNo, 1, kNo, kNo, kNo}},
      {'R', Sentence("GPRMC,000000,A,,,,,,,,,,,,"), {}},
      {'R', "$GNGST,003956.00,235111,,,,2.3,3.5,4.0*46", {}},
      {'A', "$GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03", {3, 1.05, 0.64, 0.83}},  // ublox-zed-f9p
      {'A', "$GNGSA,A,1,,,,,,,,,,,,,,,*00", {1, kNo, kNo, kNo}},                                   // beidou-gb
      {'A', "$GNGSA,A,3,201,,,,,,,,,,,,2.5,1.2,2.2*1B", {3, 2.5, 1.2, 2.2}},                      // beidou-gb
      {'A', Sentence("GNGSA,A,0,,,,,,,,,,,,,x,1.2.,-2"), {-1, kNo, kNo, -2}},
      {'A', Sentence("GNGSA,A,3,,,,,,,,,,,,,1.0,1.0"), {}},
  };
  using Ch = typename TypeParam::Char;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ExpectValues(c.kind == 'G'   ? Read(&nmea::DecodeGga<Ch>, c.line)
                 : c.kind == 'S' ? Read(&nmea::DecodeGst<Ch>, c.line)
                 : c.kind == 'A' ? Read(&nmea::DecodeGsaFix<Ch>, c.line)
                                 : Read(&nmea::DecodeRmcFix<Ch>, c.line),
                 c.want);
  }
  for (char q = '0'; q <= '8'; ++q) {
    EXPECT_EQ(Read(&nmea::DecodeGga<Ch>, Sentence(gga + q + ",,,,M,,M,,")).at(3), q - '0');
  }
}

// The intake: GGA and GST of any known talker where they start the line, an
// RMC or a GSA wherever the readout takes one, each only at a field count it
// can have. A GSA read is told apart from the fixes.
TYPED_TEST(DecodeFixTest, IntakeReadsTheFixesOfTheLinesItTakes) {
  const struct { std::string line; nmea::FixSentence fix; } cases[] = {
      {"$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n", nmea::FixSentence::kGga},
      {Sentence("PXXX,$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"), nmea::FixSentence::kRmc},
      {Sentence("PXXX,$GAGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,"), nmea::FixSentence::kNone},
      {Sentence("XXGST,092750,0.006,0.023,0.020,273.6,0.023,0.020,0.031"), nmea::FixSentence::kNone},
  };
  Monitor<TypeParam> m;
  for (const auto& c : cases) {
    ASSERT_EQ(m.Feed(c.line), 1);
    EXPECT_EQ(m.intake.lastFix(), c.fix) << c.line;
    // A seek feeding the fixes alone skips no line that gives one.
    if (c.fix != nmea::FixSentence::kNone) {
      EXPECT_TRUE(nmea::MayGiveFix(c.line.c_str(), static_cast<int>(c.line.size())));
    }
  }
  ASSERT_EQ(m.Feed(Sentence("PXXX,$GPGSA,A,2,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")), 1);  // no fix, but read
  EXPECT_TRUE(m.intake.gsaRead() && m.intake.gsa().mode == 2 && m.intake.lastFix() == nmea::FixSentence::kNone);
  ASSERT_EQ(m.Feed(Sentence("GLGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3")), 1);  // a field short
  EXPECT_FALSE(m.intake.gsaRead());
  EXPECT_DOUBLE_EQ(m.intake.rmcFix().latitude.value, 48 + 7.038 / 60);

  // A capture line by line: every GGA, GST and RMC gives its fix, no other line does.
  const std::string capture = ReadCapture("multi/ublox-zed-f9p-nmea.log");
  ASSERT_FALSE(capture.empty());
  int seen[4] = {}, starting[4] = {};  // per FixSentence: lines that gave it, lines that start with it
  int gsaMissed = 0;  // GSA lines not read, other lines read as one
  for (std::size_t from = 0, end; (end = capture.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = capture.substr(from, end + 1 - from);
    if (line[0] == '#') continue;
    ASSERT_EQ(m.Feed(line), 1) << line;
    ++seen[static_cast<int>(m.intake.lastFix())];
    EXPECT_EQ(nmea::MayGiveFix(line.c_str(), static_cast<int>(line.size())), m.intake.lastFix() != nmea::FixSentence::kNone)
        << line;
    const std::string kind = line.substr(3, 4);
    ++starting[kind == "GGA," ? 1 : kind == "GST," ? 2 : kind == "RMC," ? 3 : 0];
    gsaMissed += m.intake.gsaRead() != (kind == "GSA,") ? 1 : 0;
    if (line.compare(0, 17, "$GNGGA,003957.00,") == 0) {
      ExpectValues(Flat(m.intake.gga()),
                   {2397, -(45 + 52.65403 / 60), 170 + 30.00673 / 60, 1, 12, 0.64, 14.2, 1.8, kNo});
    } else if (line.compare(0, 17, "$GNGST,003957.00,") == 0) {
      ExpectValues(Flat(m.intake.gst()), {2397, 348874, kNo, kNo, kNo, 2.3, 3.5, 4});
    }
  }
  EXPECT_EQ(starting[1], 29);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(seen[k], starting[k]) << "fix sentence " << k;
  EXPECT_EQ(gsaMissed, 0);
}

}  // namespace
}  // namespace trelvane::testing
