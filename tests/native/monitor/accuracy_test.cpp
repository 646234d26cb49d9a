// The accuracy figures: a stored set of fixes against values worked out
// independently (a separate implementation in Python, with a full sort and
// the statistics module), the nearest-rank edges, the held centre, the ring
// of kept fixes, RMC's fixes giving way to GGA's, and the texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/accuracy.hpp"
#include "monitor/scatter_raster.hpp"
#include "tests/native/monitor/fix_support.hpp"

namespace {

using namespace trelvane;
using monitor::AccuracyFigures;
using monitor::FixRecord;
using trelvane::testing::Gga;
using trelvane::testing::HoldAt;

nmea::Reading Value(double value) { return {value, true}; }

struct Offset {
  double north, east;  // 1e-5 degrees
  double altitude;     // below -1000: none
  int quality;
};

// Eleven fixes about -45.877567, 170.500111 (about a metre per unit).
const Offset kScatter[] = {
    {0, 0, 14.2, 1},     {1.7, -0.4, 14.5, 1}, {-2.3, 1.1, 13.9, 2},  {0.6, 2.9, 14.8, 1},
    {-4.1, -3.2, 13.2, 4}, {0.2, 0.3, -9999, 5}, {1.1, -1.9, 14.4, 1}, {-0.8, 0.7, 15.0, 1},
    {3.6, -0.5, 13.6, 2}, {-0.9, -2.2, 14.0, 1}, {7.5, 6.0, 16.1, 1},
};

void TakeScatter(FixRecord& record) {
  for (const Offset& o : kScatter) {
    record.TakeGga(Gga(-45.877567 + o.north * 1e-5, 170.500111 + o.east * 1e-5, o.quality, o.altitude));
  }
}

std::vector<std::string> Texts(const AccuracyFigures& figures) {
  monitor::AccuracyTexts texts;
  monitor::FormatAccuracyTexts(figures, texts);
  return std::vector<std::string>(std::begin(texts.text), std::end(texts.text));
}

TEST(AccuracyFigures, AStoredScatterAgreesWithAnIndependentWorking) {
  FixRecord record;
  TakeScatter(record);
  AccuracyFigures f;
  record.Compute(f);
  // Expected values from the independent working, in metres.
  EXPECT_NEAR(f.cep50, 2.0537717344, 1e-6);
  EXPECT_NEAR(f.cep95, 8.8720452086, 1e-6);
  EXPECT_NEAR(f.eastSd, 1.8811741341, 1e-6);
  EXPECT_NEAR(f.northSd, 3.2370525629, 1e-6);
  EXPECT_NEAR(f.twoDrms, 7.4879437546, 1e-6);
  EXPECT_NEAR(f.altitudeMean, 14.37, 1e-9);
  EXPECT_NEAR(f.altitudeSd, 0.7707788269, 1e-9);
  EXPECT_EQ(f.altitudes, 10);
  const std::vector<std::string> expected = {
      "Fixes: 11",
      "CEP50: 2.05 m",
      "CEP95: 8.87 m",
      "2DRMS: 7.49 m",
      "East sd: 1.88 m, North sd: 3.24 m",
      "Altitude: 14.4 m, sd 0.77 m",
      "RTK fixed 9 %, RTK float 9 %, DGPS 18 %, GPS 64 %",
      "GST: none",
      "Centre: -45.87756100, 170.50011355 (mean)",
  };
  EXPECT_EQ(Texts(f), expected);

  // Held at the first fix, the same scatter measures from there.
  FixRecord held;
  HoldAt(held, -45.877567, 170.500111);
  TakeScatter(held);
  held.Compute(f);
  EXPECT_NEAR(f.cep50, 1.9793345490, 1e-6);
  EXPECT_NEAR(f.cep95, 9.5492954823, 1e-6);
  EXPECT_NEAR(f.eastSd, 1.8811739317, 1e-6);  // about their own means: as before, but for rounding
  EXPECT_EQ(Texts(f)[8], "Centre: -45.87756700, 170.50011100 (held)");
  held.HoldCentre(false);
  held.Compute(f);
  EXPECT_EQ(Texts(f)[8], "Centre: -45.87756100, 170.50011355 (mean)");
}

// Fixes due north of a held centre at 1, 2, ... n metres (7 is prime to
// each n, so i * 7 mod n shuffles them): CEP50 and CEP95
// are the distances at ranks ceil(0.50 n) and ceil(0.95 n).
TEST(AccuracyFigures, NearestRanks) {
  struct Case {
    int n, rank50, rank95;
  };
  for (const Case c : {Case{1, 1, 1}, Case{2, 1, 2}, Case{20, 10, 19}, Case{23, 12, 22}, Case{100, 50, 95}}) {
    FixRecord record;
    HoldAt(record, 10.0, 20.0);
    const double degreesPerMetre = 1.0 / monitor::TangentPlane::At(10.0, 20.0).northPerDegree;
    // Taken in a shuffled order, so that the ranks come from a selection.
    for (int i = 0; i < c.n; ++i) record.TakeGga(Gga(10.0 + ((i * 7) % c.n + 1) * degreesPerMetre, 20.0, 1));
    AccuracyFigures f;
    record.Compute(f);
    EXPECT_NEAR(f.cep50, c.rank50, 1e-6) << c.n << " fixes";
    EXPECT_NEAR(f.cep95, c.rank95, 1e-6) << c.n << " fixes";
  }
}

TEST(AccuracyFigures, TheRingKeepsTheNewestFixes) {
  FixRecord record;
  for (int i = 0; i < 5; ++i) record.TakeGga(Gga(1.0, 1.0, 2, 100.0));
  for (int i = 0; i < monitor::kFixesKept; ++i) record.TakeGga(Gga(1.0, 1.0, 1, 50.0));
  AccuracyFigures f;
  record.Compute(f);
  EXPECT_EQ(f.fixes, monitor::kFixesKept);
  EXPECT_EQ(f.qualityFixes[2], 0) << "the oldest five stay kept";
  EXPECT_EQ(f.altitudeMean, 50.0);
  EXPECT_EQ(Texts(f)[6], "GPS 100 %");
}

// Before any GGA, RMC with status A gives fixes of unknown quality; the first
// GGA forgets them. Qualities 0, 6, 7 and 8 give none. Reset keeps the GST,
// a new link forgets it.
TEST(AccuracyFigures, WhatCountsAsAFix) {
  FixRecord record;
  AccuracyFigures f;
  record.Compute(f);
  EXPECT_EQ(Texts(f), (std::vector<std::string>{"Fixes: 0", "CEP50: -", "CEP95: -", "2DRMS: -",
                                                "East sd: -, North sd: -", "Altitude: -", "-", "GST: none",
                                                "Centre: -"}));
  nmea::RmcFix rmc;
  rmc.latitude = Value(52.0);
  rmc.longitude = Value(-4.0);
  EXPECT_FALSE(record.TakeRmc(rmc)) << "status V";
  rmc.valid = true;
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(record.TakeRmc(rmc));
  record.Compute(f);
  EXPECT_EQ(Texts(f)[0], "Fixes: 8");
  EXPECT_EQ(Texts(f)[5], "Altitude: -");
  EXPECT_EQ(Texts(f)[6], "unknown 100 %");
  EXPECT_EQ(Texts(f)[8], "Centre: 52.00000000, -4.00000000 (mean)");

  EXPECT_TRUE(record.TakeGga(Gga(52.0, -4.0, 0))) << "the RMC fixes went";
  for (int quality : {0, 6, 7, 8}) EXPECT_FALSE(record.TakeGga(Gga(52.0, -4.0, quality)));
  EXPECT_FALSE(record.TakeRmc(rmc)) << "RMC no longer counts";
  for (int i = 0; i < 7; ++i) record.TakeGga(Gga(52.0, -4.0, 1, 10.0));
  record.TakeGga(Gga(52.0, -4.0, 3, 10.0));
  nmea::GstReport gst;
  gst.latitudeSigma = Value(1.5);
  gst.longitudeSigma = Value(2.25);
  record.TakeGst(gst);
  record.Compute(f);
  EXPECT_EQ(Texts(f)[6], "PPS 13 %, GPS 88 %") << "12.5 and 87.5 round up";
  EXPECT_EQ(Texts(f)[7], "GST: lat 1.50 m, lon 2.25 m, alt -");
  record.Reset();
  record.Compute(f);
  EXPECT_EQ(Texts(f)[0], "Fixes: 0");
  EXPECT_EQ(Texts(f)[7], "GST: lat 1.50 m, lon 2.25 m, alt -");
  record.Forget();
  record.Compute(f);
  EXPECT_EQ(Texts(f)[7], "GST: none");
}

// The raster: newest on top, dots bounded by the plot, and the scale's
// 1-2-5 radius about twice CEP95.
TEST(ScatterRaster, DotsAndScale) {
  EXPECT_EQ(monitor::PlotRadiusMetres(2.4), 5.0);
  EXPECT_EQ(monitor::PlotRadiusMetres(4.0), 10.0);
  EXPECT_EQ(monitor::PlotRadiusMetres(0.004), 0.01);
  EXPECT_EQ(monitor::PlotRadiusMetres(0), 10.0);
  FixRecord record;
  HoldAt(record, 10.0, 20.0);
  const double degreesPerMetre = 1.0 / monitor::TangentPlane::At(10.0, 20.0).northPerDegree;
  record.TakeGga(Gga(10.0, 20.0, 2));
  record.TakeGga(Gga(10.0, 20.0, 4));                          // on top of the first
  record.TakeGga(Gga(10.0 + 4.5 * degreesPerMetre, 20.0, 5));  // at the top edge
  record.TakeGga(Gga(10.0 + 50 * degreesPerMetre, 20.0, 1));   // off the plot
  AccuracyFigures f;
  record.Compute(f);
  monitor::ScatterFrame frame;
  monitor::FrameScatter(record, f, 10, 3, frame);
  EXPECT_STREQ(frame.scale, "100 m") << "CEP95 is the far fix's 50 m";
  monitor::RasterizeFixes(record, f, 5.0, 10, 3, frame.cells.data());
  int marked = 0;
  for (std::uint8_t cell : frame.cells) marked += cell != 0;
  EXPECT_EQ(frame.cells[5 * 10 + 5], 4 + 1) << "the newest of two at the centre";
  EXPECT_EQ(frame.cells[0 * 10 + 5], 5 + 1) << "the dot at the edge, cut to the plot";
  EXPECT_EQ(marked, 9 + 6);
}

}  // namespace
