// The all-systems view: how each receiver's numbering names a satellite, the
// fields newer NMEA versions add, and the page's bar order and labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

using nmea::GnssSatellite;
using nmea::GnssView;

// The view as text: "E03u40" is Galileo 3, in use, SNR 40; "-" for no SNR.
std::string Describe(const GnssView& view) {
  std::string out;
  for (int i = 0; i < view.Count(); ++i) {
    const GnssSatellite& s = view.At(i);
    char label[6];
    nmea::SatelliteLabel(s, label);
    if (s.system == nmea::GnssSystem::kGps) out += 'G';
    out += label;
    if (s.used) out += "u";
    out += s.snr < 0 ? "-" : std::to_string(s.snr);
    out += ' ';
  }
  return out;
}

struct NumberingCase {
  const char* what;
  std::vector<std::string> sentences;  // real ones where a capture has them
  const char* view;
};

const NumberingCase kNumbering[] = {
    {"NMEA 4.0 in $GP: SBAS 33-64 is PRN 120-151 (ublox-neo-m9n, cut to one message)",
     {Sentence("GPGSV,1,1,03,29,46,133,43,44,45,171,45,51,43,156,43,1")},
     "G2943 S13145 S13843 "},
    {"NMEA 4.0 in $GN: GLONASS 65-96 is slot 1-32 (bu353-glonass)",
     {"$GLGSV,3,1,10,79,81,336,,69,50,211,,70,47,307,,78,33,058,*6D\r\n",
      "$GLGSV,3,2,10,80,30,251,,88,24,068,23,87,19,015,17,68,07,177,*6C\r\n",
      "$GLGSV,3,3,10,71,06,339,,81,03,117,27*65\r\n"},
     "R04- R05- R06- R07- R14- R15- R16- R1727 R2317 R2423 "},
    {"NMEA 4.10: numbers within the system under the system's talker (quectel-l76k)",
     {"$BDGSV,1,1,03,13,19,043,17,27,38,127,33,37,36,091,24,0*49\r\n"},
     "C1317 C2733 C3724 "},
    {"vendor BeiDou 201-263 under $GB (beidou-gb)",
     {"$GBGSV,2,1,05,201,00,000,44,202,14,089,35,204,00,000,42,205,27,091,*66\r\n",
      "$GBGSV,2,2,05,209,07,033,*62\r\n"},
     "C0144 C0235 C0442 C05- C09- "},
    {"vendor BeiDou 401-437 and Galileo 301-336 in $GN, Galileo 101-136 under $GA",
     {Sentence("GNGSV,1,1,03,401,10,100,30,437,20,200,31,336,30,300,32"), Sentence("GAGSV,1,1,01,135,40,010,33")},
     "E3533 E3632 C0130 C3731 "},
    {"Quectel's $PQGSV is BeiDou", {Sentence("PQGSV,1,1,02,06,60,010,40,16,50,020,41")}, "C0640 C1641 "},
    {"QZSS 193-202 in $GP, and under $GQ by its own number",
     {Sentence("GPGSV,1,1,01,193,70,100,44"), Sentence("GQGSV,1,1,01,02,60,150,42")}, "J0144 J0242 "},
};

const std::string kBu353Gps[] = {
    "$GPGSV,3,1,12,08,88,068,,07,59,081,24,28,41,187,,05,40,260,*7E\r\n",
    "$GPGSV,3,2,12,26,36,297,,03,27,059,14,19,24,073,16,27,19,040,23*7C\r\n",
    "$GPGSV,3,3,12,10,19,202,,13,15,129,23,21,06,346,,15,04,307,*7E\r\n"};
const std::string kF9pSignal1[] = {
    "$GPGSV,3,1,12,05,06,110,19,10,24,284,34,13,37,124,29,15,63,083,11,1*60\r\n",
    "$GPGSV,3,2,12,16,11,248,10,20,52,273,34,21,79,231,30,24,07,045,,1*64\r\n",
    "$GPGSV,3,3,12,26,04,276,,27,15,218,31,29,24,004,13,30,00,159,,1*69\r\n"};
const std::string kF9pSignal6[] = {
    "$GPGSV,3,1,12,05,06,110,,10,24,284,,13,37,124,,15,63,083,,6*63\r\n",
    "$GPGSV,3,2,12,16,11,248,,20,52,273,,21,79,231,,24,07,045,,6*66\r\n",
    "$GPGSV,3,3,12,26,04,276,,27,15,218,29,29,24,004,,30,00,159,,6*65\r\n"};
const std::string kM9nGalileo[] = {
    "$GAGSV,3,1,10,03,44,149,40,05,42,071,39,08,08,190,,09,06,034,,7*74\r\n",
    "$GAGSV,3,2,10,13,11,292,,15,56,322,39,21,10,318,,27,24,268,26,7*75\r\n",
    "$GAGSV,3,3,10,30,14,215,16,36,08,098,,7*79\r\n"};
const std::string kBeidouGb[] = {"$GBGSV,2,1,05,201,00,000,44,202,14,089,35,204,00,000,42,205,27,091,*66\r\n",
                                 "$GBGSV,2,2,05,209,07,033,*62\r\n"};
const std::string kGsa201 = "$GNGSA,A,3,201,,,,,,,,,,,,2.5,1.2,2.2*1B\r\n";  // beidou-gb

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
template <int N>
std::vector<std::string> Lines(const std::string (&lines)[N]) {
  return std::vector<std::string>(lines, lines + N);
}

const NumberingCase kFields[] = {
    {"GSA field 18, system id 3: Galileo, not GPS (ublox-neo-m9n)",
     Join({Lines(kM9nGalileo), {"$GNGSA,A,3,03,05,30,27,15,,,,,,,,0.99,0.54,0.83,3*0D\r\n"}}),
     "E03u40 E05u39 E08- E09- E13- E15u39 E21- E27u26 E30u16 E36- "},
    {"201 in a GSA is the BeiDou satellite in view (beidou-gb)", Join({Lines(kBeidouGb), {kGsa201}}),
     "C01u44 C0235 C0442 C05- C09- "},
    {"201 in a GSA is QZSS 9 when that is in view", {Sentence("GQGSV,1,1,01,09,30,100,40"), kGsa201}, "J09u40 "},
    {"in use: the union of one cycle's GSA; the next cycle's replace them (bu353-glonass)",
     Join({Lines(kBu353Gps), {Sentence("GLGSV,1,1,02,87,19,015,17,88,24,068,23"),  // cut to one message
                              "$GNGSA,A,3,03,19,27,13,,,,,,,,,2.75,2.56,1.00*10\r\n",
                              "$GNGSA,A,3,88,87,,,,,,,,,,,2.75,2.56,1.00*13\r\n",
                              "$GNRMC,081415.000,A,5541.1965,N,03737.2923,E,0.39,332.00,260514,,,A*71\r\n",
                              "$GNGSA,A,3,03,19,27,13,,,,,,,,,4.98,4.87,1.00*1F\r\n",
                              "$GNGSA,A,3,88,,,,,,,,,,,,4.98,4.87,1.00*13\r\n"}}),
     "G03u14 G05- G0724 G08- G10- G13u23 G15- G19u16 G21- G26- G27u23 G28- R2317 R24u23 "},
    {"two signals of one satellite merge to the stronger (ublox-zed-f9p, signal ids 1 and 6)",
     Join({Lines(kF9pSignal1), Lines(kF9pSignal6)}),
     "G0519 G1034 G1329 G1511 G1610 G2034 G2130 G24- G26- G2731 G2913 G30- "},
    {"a group replaces only its own signal's satellites",
     Join({Lines(kF9pSignal1), Lines(kF9pSignal6), {Sentence("GPGSV,1,1,01,27,15,218,45,6")}}),
     "G0519 G1034 G1329 G1511 G1610 G2034 G2130 G24- G26- G2745 G2913 G30- "},
    {"a group is one group whatever its messages' signal ids",
     {Sentence("GPGSV,2,1,05,01,10,100,30,02,10,100,31,03,10,100,32,04,10,100,33,1"),
      Sentence("GPGSV,2,2,05,05,10,100,34,6"), Sentence("GPGSV,1,1,01,07,10,100,35,1")},
     "G0735 "},
    {"a GSV whose field after the signal id is no system id is not read; a GSA's fields past 18 are not",
     {Sentence("GAGSV,1,1,01,11,10,100,30,7,9"), Sentence("GAGSV,1,1,01,12,10,100,31"),
      Sentence("GNGSA,A,3,12,,,,,,,,,,,,1.0,0.5,0.8,3,0")},
     "E12u31 "},
    {"Quectel EG25-G: signal id, then system id 4 after the satellites",
     {"$PQGSV,2,1,08,02,20,116,,03,,,,05,34,137,,07,06,045,,0,4*52\r\n", Sentence("PQGSV,2,2,08,10,50,200,31,0,4")},
     "C02- C03- C05- C07- C1031 "},
    {"SiRF BeiDou: a GSA with a 19th field that is no system id",
     {Sentence("GPGSV,1,1,02,25,40,100,35,32,30,200,36"), "$GPGSA,A,3,25,32,,,,,,,,,,,5.1,1.3,4.9,3.3*3D\r\n"},
     "G25u35 G32u36 "},
};

TEST(GnssNumbering, EachReceiversNumberingAndFieldNamesTheSatellite) {
  for (const auto& c : kNumbering) {
    SCOPED_TRACE(c.what);
    Monitor<DesktopBuild> m;
    for (const auto& s : c.sentences) ASSERT_EQ(m.Feed(s), 1) << s;
    EXPECT_EQ(Describe(m.intake.gnss()), c.view);
  }
  for (const auto& c : kFields) {
    SCOPED_TRACE(c.what);
    Monitor<DesktopBuild> m;
    for (const auto& s : c.sentences) ASSERT_EQ(m.Feed(s), 1) << s;
    EXPECT_EQ(Describe(m.intake.gnss()), c.view);
  }
}

template <class Build>
class GnssIntakeTest : public ::testing::Test {};
TYPED_TEST_SUITE(GnssIntakeTest, BothBuilds);

// $GNRMC with NMEA 4.10's mode and navigation status fills the readout as
// $GPRMC does; $GNGSA sets status and DOPs; the $GP table stays as it was.
TYPED_TEST(GnssIntakeTest, OtherTalkersFillTheReadoutButNotTheGpTable) {
  Monitor<TypeParam> m;
  ASSERT_EQ(m.Feed("$GNRMC,223745.00,A,3806.62964,N,12237.61382,W,0.040,,110720,,,D,V*0E\r\n"), 1);
  ASSERT_EQ(m.Feed("$GNGSA,A,3,82,73,74,67,81,83,68,,,,,,0.99,0.54,0.83,2*08\r\n"), 1);
  EXPECT_EQ(m.Text(ReadoutField::kDate), "2020/07/11");
  EXPECT_EQ(m.Text(ReadoutField::kUtc), "22:37:45");
  EXPECT_EQ(m.Text(ReadoutField::kLatitude), "38°06.62964'");
  EXPECT_EQ(m.Text(ReadoutField::kStatus), "3D");
  EXPECT_EQ(m.Text(ReadoutField::kHdop), "0.54");
  EXPECT_EQ(m.Text(ReadoutField::kPdop), "0.99");
  EXPECT_TRUE(m.intake.multiSystem());
  EXPECT_EQ(m.Prn(0), "");
  // One field more than NMEA 4.11's RMC: not read at all.
  ASSERT_EQ(m.Feed(Sentence("GNRMC,223746.00,A,3906.62964,N,12237.61382,W,0.040,,110720,,,D,V,X")), 1);
  EXPECT_EQ(m.Text(ReadoutField::kUtc), "22:37:45");
  m.intake.ResetTalkers();
  EXPECT_FALSE(m.intake.multiSystem());
}

// A receiver repeating the same GSA each cycle changes no mark: the first
// GSA of the next cycle keeps the other systems' marks (bu353-glonass).
TEST(GnssView, TheSameCycleAgainChangesNothing) {
  Monitor<DesktopBuild> m;
  for (const auto& s : kBu353Gps) m.Feed(s);
  m.Feed(Sentence("GLGSV,1,1,02,87,19,015,17,88,24,068,23"));
  const std::string cycle[] = {"$GNGSA,A,3,03,19,27,13,,,,,,,,,2.75,2.56,1.00*10\r\n",
                               "$GNGSA,A,3,88,87,,,,,,,,,,,2.75,2.56,1.00*13\r\n",
                               "$GNRMC,081415.000,A,5541.1965,N,03737.2923,E,0.39,332.00,260514,,,A*71\r\n"};
  for (const auto& s : cycle) m.Feed(s);
  const std::string before = Describe(m.intake.gnss());
  for (const auto& s : cycle) {
    ASSERT_EQ(m.Feed(s), 1);
    EXPECT_FALSE(m.intake.gnssChanged()) << s;
    EXPECT_EQ(Describe(m.intake.gnss()), before);
  }
}

TEST(GnssView, BarOrderAndCapacity) {
  Monitor<DesktopBuild> m;
  for (const auto& s : kF9pSignal1) m.Feed(s);
  int order[nmea::kGnssCapacity];
  // Twelve in view: the order they arrived in.
  ASSERT_EQ(m.intake.gnss().BarOrder(order), 12);
  EXPECT_EQ(m.intake.gnss().At(order[0]).number, 5);
  EXPECT_EQ(m.intake.gnss().At(order[11]).number, 30);
  ASSERT_EQ(m.Feed(Sentence("GNGSA,A,3,13,16,,,,,,,,,,,1.05,0.64,0.83,1")), 1);
  ASSERT_EQ(m.Feed(Sentence("GAGSV,1,1,01,11,10,100,50,7")), 1);
  // Thirteen: in use first, then by signal; no SNR last.
  ASSERT_EQ(m.intake.gnss().BarOrder(order), 13);
  std::string bars;
  for (int i = 0; i < 13; ++i) bars += std::to_string(m.intake.gnss().At(order[i]).number) + " ";
  EXPECT_EQ(bars, "13 16 11 10 20 27 21 5 29 15 24 26 30 ");
  // 9 groups of 4 x 3 systems: 108 satellites, 96 kept, 12 counted.
  for (const char* talker : {"GP", "GL", "GA"}) {
    for (int msg = 1; msg <= 9; ++msg) {
      std::string body = std::string(talker) + "GSV,9," + std::to_string(msg) + ",36";
      for (int k = 0; k < 4; ++k) body += "," + std::to_string(std::string(talker) == "GL" ? 64 + 4 * msg - 3 + k : 4 * msg - 3 + k) + ",10,100,30";
      m.Feed(Sentence(body));
    }
  }
  EXPECT_EQ(m.intake.gnss().Count(), nmea::kGnssCapacity);
  EXPECT_GT(m.intake.gnss().dropped(), 0);
}

}  // namespace
}  // namespace trelvane::testing
