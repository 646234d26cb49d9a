// The information page painted into a 32-bit DIB section, pixel by pixel:
// labels, sky picture, bars, rings and numbers from the satellite table, the
// degree sign, and repeated paints that are identical and leave no GDI
// object behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/gdi.hpp"
#include "desktop/info_page.hpp"
#include "desktop/resource.h"
#include "ui/satellite_marks.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"
#include "tests/win/ui/dib_canvas.hpp"

namespace {

using namespace trelvane;
using desktop::InfoPage;
using test::Canvas;

constexpr int kWidth = test::kPageWidth;
constexpr int kHeight = test::kPageHeight;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

class InfoPagePaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.skyBitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKY));
    ASSERT_NE(page.skyBitmap, nullptr);
  }
  void TearDown() override { DeleteObject(page.skyBitmap); }

  void SetSatellite(int i, const char* prn, int inUse, int snr, int x, int y) {
    auto& entry = page.satellites.entries[i];
    std::strncpy(entry.prn, prn, sizeof entry.prn - 1);
    entry.inUse = static_cast<std::uint8_t>(inUse);
    entry.snr = snr;
    entry.plotX = x;
    entry.plotY = y;
  }
  void Paint() { page.Paint(canvas.dc(), kWidth, kHeight); }
  static RECT Column(int i) { return RECT{5 + 20 * i, 170, 19 + 20 * i, 230}; }
  static RECT Under(int i) { return RECT{5 + 20 * i, 230, 20 + 20 * i, 280}; }
  static RECT Value(int i) { return RECT{5 + 20 * i, 210, 20 + 20 * i, 230}; }

  InfoPage page;
  Canvas canvas;
};

TEST_F(InfoPagePaintTest, WithNoDataOnlyTheLabelsAndTheSkyPictureShow) {
  Paint();
  // The sky picture at (0, 0) at its own size.
  Canvas sky;
  HDC picture = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(picture, page.skyBitmap);
  BitBlt(sky.dc(), 0, 0, 155, 155, picture, 0, 0, SRCCOPY);
  SelectObject(picture, old);
  DeleteDC(picture);
  int differing = 0;
  for (int y = 0; y < 155; ++y)
    for (int x = 0; x < 155; ++x) differing += canvas.At(x, y) != sky.At(x, y) ? 1 : 0;
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(canvas.At(77, 40), kWhite) << "the cross";

  // Each label leaves ink in its rectangle; each empty value and the whole
  // bar row stay white.
  for (RECT label : {RECT{165, 5, 200, 25}, RECT{165, 45, 240, 65}, RECT{165, 125, 210, 145}, RECT{5, 157, 35, 170},
                     RECT{150, 157, 200, 170}})
    EXPECT_GT(canvas.CountOther(label, kWhite), 0) << label.left << "," << label.top;
  for (RECT value : {RECT{240, 25, 300, 45}, RECT{240, 85, 300, 105}, RECT{60, 157, 135, 170}})
    EXPECT_EQ(canvas.CountOther(value, kWhite), 0) << value.left << "," << value.top;
  EXPECT_EQ(canvas.CountOther(RECT{0, 171, kWidth, kHeight}, kWhite), 0);
}

// A used satellite: a solid blue bar on y = 230, its value above and its
// number under the column, a blue ring at its plot position. Not used: a
// red outline, white inside, a green ring. No signal: a red ring only.
TEST_F(InfoPagePaintTest, BarsRingsAndNumbersFollowTheSatelliteTable) {
  struct Row {
    int inUse, snr;
    int barTop;        // first row of the bar, or 230 for none
    COLORREF fill;     // inside the bar
    COLORREF ring;
  };
  const Row rows[] = {
      {1, 45, 185, kBlue, kBlue},  {1, 65, 180, kBlue, kBlue},   {0, 45, 184, kWhite, kGreen},
      {0, 65, 180, kWhite, kGreen}, {1, 0, 230, kWhite, kRed},   {0, 0, 230, kWhite, kRed},
  };
  for (const Row& row : rows) {
    page.satellites = nmea::SatelliteTable<char>{};
    SetSatellite(3, "17", row.inUse, row.snr, 300, 260);  // ring away from everything else
    Paint();
    const int left = 5 + 20 * 3;
    SCOPED_TRACE(::testing::Message() << "inUse " << row.inUse << " snr " << row.snr);
    if (row.barTop < 230) {
      const bool outlined = row.inUse == 0;
      const COLORREF edge = outlined ? kRed : kBlue;
      EXPECT_EQ(canvas.Count(RECT{left, row.barTop, left + 14, row.barTop + 1}, edge), 14) << "top row";
      EXPECT_EQ(canvas.Count(RECT{left, 229, left + 14, 230}, edge), 14) << "bottom row";
      // The value is written over the bar's lower part (y 210 to 230).
      EXPECT_EQ(canvas.Count(RECT{left, row.barTop, left + 1, 210}, edge), 210 - row.barTop) << "left edge";
      EXPECT_EQ(canvas.Count(RECT{left + 13, row.barTop, left + 14, 210}, edge), 210 - row.barTop) << "right edge";
      EXPECT_EQ(canvas.CountOther(RECT{left + 1, row.barTop + 1, left + 13, 210}, row.fill), 0) << "inside";
      EXPECT_EQ(canvas.Count(RECT{left, row.barTop - 1, left + 14, row.barTop}, edge), 0) << "above the bar";
      EXPECT_GT(canvas.CountOther(Value(3), kWhite) - canvas.Count(Value(3), edge), 0) << "the value";
    } else {
      EXPECT_EQ(canvas.CountOther(Column(3), kWhite), 0) << "no bar and no value";
    }
    EXPECT_GT(canvas.Count(RECT{291, 253, 310, 268}, row.ring), 20) << "ring";
    EXPECT_GT(canvas.CountOther(Under(3), kWhite), 0) << "number under the column";
    for (int other : {2, 4}) EXPECT_EQ(canvas.CountOther(Column(other), kWhite), 0) << other;
  }
}

TEST_F(InfoPagePaintTest, AnEntryWithoutNumberLeavesItsColumnBlankAndTwelveFillTheRow) {
  SetSatellite(0, "", 1, 40, 300, 260);
  for (int i = 1; i < 12; ++i) SetSatellite(i, "5", 1, 30, 77, 77);
  Paint();
  EXPECT_EQ(canvas.CountOther(RECT{5, 170, 20, 280}, kWhite), 0);
  EXPECT_EQ(canvas.CountOther(RECT{280, 240, 320, 280}, kWhite), 0) << "no ring for the empty entry";
  for (int i = 1; i < 12; ++i) EXPECT_EQ(canvas.Count(RECT{5 + 20 * i, 200, 19 + 20 * i, 210}, kBlue), 14 * 10) << i;
  EXPECT_EQ(canvas.CountOther(RECT{245, 170, kWidth, 230}, kWhite), 0) << "nothing right of the twelfth column";
}

TEST_F(InfoPagePaintTest, TheDegreeSignIsDrawnAsTheDegreeCharacter) {
  std::strcpy(page.record.latitude, "52\xA2X51.0094'");  // code page 950 bytes
  Paint();
  Canvas expected;
  FillRect(expected.dc(), &desktop::kInfoRepaintArea, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(expected.dc(), TRANSPARENT);
  RECT place = {60, 157, 135, 170};
  DrawTextW(expected.dc(), L"52\u00B051.0094'", -1, &place, DT_VCENTER);
  int differing = 0;
  for (int y = 157; y < 170; ++y)
    for (int x = 60; x < 135; ++x) differing += canvas.At(x, y) != expected.At(x, y) ? 1 : 0;
  EXPECT_EQ(differing, 0);
  EXPECT_GT(canvas.CountOther(place, kWhite), 0);
}

TEST_F(InfoPagePaintTest, RepeatedPaintsAreIdenticalAndReleaseEverythingTheyMake) {
  for (int i = 0; i < 12; ++i) SetSatellite(i, "12", i % 2, 10 + 5 * i, 20 + 10 * i, 30 + 8 * i);
  std::strcpy(page.record.utc, "09:47:36");
  Paint();
  const std::vector<DWORD> first = canvas.Pixels();
  const long live = ui::GdiCensus::Live();
  for (int i = 0; i < 50; ++i) Paint();
  EXPECT_EQ(ui::GdiCensus::Live(), live);
  EXPECT_EQ(live, 0);
  EXPECT_TRUE(canvas.Pixels() == first);
  // The sky picture was selected back out of every temporary context: it can
  // still be selected into another.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_NE(SelectObject(other, page.skyBitmap), nullptr);
  DeleteDC(other);
}

}  // namespace

// A receiver of four systems with 30 satellites in view: every satellite has
// a ring, the twelve columns hold the used ones first and then the strongest,
// and lettered labels stay within their columns.
class AllSystemsPaintTest : public InfoPagePaintTest {
 protected:
  // One GSV group of `talker` with the satellites (number, elevation, azimuth, SNR).
  void Group(const char* talker, const std::vector<std::array<int, 4>>& satellites) {
    const int messages = static_cast<int>((satellites.size() + 3) / 4);
    for (int m = 0; m < messages; ++m) {
      char body[128];
      int n = std::snprintf(body, sizeof body, "%sGSV,%d,%d,%02d", talker, messages, m + 1,
                            static_cast<int>(satellites.size()));
      for (size_t i = m * 4; i < satellites.size() && i < static_cast<size_t>(m * 4 + 4); ++i) {
        const auto& s = satellites[i];
        n += std::snprintf(body + n, sizeof body - n, ",%02d,%02d,%03d,%02d", s[0], s[1], s[2], s[3]);
      }
      Feed(body);
    }
  }
  void Feed(const std::string& body) {
    ASSERT_EQ(intake.HandleSentence(trelvane::testing::Sentence(body).c_str()), 1) << body;
  }

  trelvane::testing::RecordingLogPane<char> log;
  nmea::SentenceIntake<nmea::DesktopBuild> intake{log, page.record, page.satellites, {}};
};

TEST_F(AllSystemsPaintTest, ThirtySatellitesOfFourSystemsShowUsedFirstAndLetteredLabelsInTheirColumns) {
  page.intake = &intake;
  // Elevation 10 to 80 and azimuths a quarter turn apart per system keep the
  // rings apart; the SNRs order the unused ones.
  std::vector<std::array<int, 4>> gps, glonass, galileo, beidou;
  for (int i = 0; i < 7; ++i) gps.push_back({2 + i, 10 + 8 * i, 5 + 10 * i, 20 + i});
  gps.push_back({46, 66, 75, 47});  // SBAS 133 and 138, the strongest unused
  gps.push_back({51, 74, 85, 48});
  for (int i = 0; i < 8; ++i) glonass.push_back({65 + i, 12 + 9 * i, 95 + 10 * i, 30 + i});
  for (int i = 0; i < 7; ++i) galileo.push_back({1 + i, 14 + 10 * i, 185 + 10 * i, 40 + i});
  for (int i = 0; i < 6; ++i) beidou.push_back({21 + i, 16 + 11 * i, 275 + 10 * i, 10 + i});
  Group("GP", gps);
  Group("GL", glonass);
  Group("GA", galileo);
  Group("GB", beidou);
  Feed("GNGSA,A,3,02,03,,,,,,,,,,,1.8,1.0,1.5,1");  // GPS 2 and 3 used
  Feed("GNGSA,A,3,65,,,,,,,,,,,,1.8,1.0,1.5,2");    // GLONASS slot 1 used
  Feed("GNRMC,094737,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E,A,V");
  ASSERT_TRUE(intake.multiSystem());
  ASSERT_EQ(intake.gnss().Count(), 30);
  Paint();

  // Columns 0 to 2: the used ones (solid blue). Then the strongest unused:
  // SBAS 48 and 47, Galileo 46 down to 40 (red outlines).
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(canvas.Count(RECT{5 + 20 * column, 229, 19 + 20 * column, 230}, kBlue), 14) << column;
  }
  for (int column = 3; column < 12; ++column) {
    EXPECT_EQ(canvas.Count(RECT{5 + 20 * column, 229, 19 + 20 * column, 230}, kRed), 14) << column;
  }
  // Galileo 7 (SNR 46) is in column 5: its outline is 47 high, the top edge on 183.
  EXPECT_EQ(canvas.Count(RECT{105, 183, 119, 184}, kRed), 14);
  // No label is wider than a column's pitch, so none is cut: the longest,
  // "S138", in the view's own font.
  HDC measure = CreateCompatibleDC(nullptr);
  ui::OwnedFont font(ui::CreateViewFont());
  HGDIOBJ before = SelectObject(measure, font.get());
  SIZE longest = {};
  GetTextExtentPoint32W(measure, L"S138", 4, &longest);
  SelectObject(measure, before);
  DeleteDC(measure);
  EXPECT_LE(longest.cx, ui::kColumnPitch - 1);
  // Every label leaves ink under its column, and a white line separates each
  // column's label from the next one's: none runs into its neighbour.
  for (int column = 0; column < 12; ++column) {
    EXPECT_GT(canvas.CountOther(Under(column), kWhite), 0) << column;
    bool gap = false;
    for (int x = 18 + 20 * column; x <= 24 + 20 * column && !gap; ++x) {
      gap = canvas.CountOther(RECT{x, 231, x + 1, 280}, kWhite) == 0;
    }
    EXPECT_TRUE(gap) << "the labels of columns " << column << " and " << column + 1 << " touch";
  }
  // Every satellite has its ring: each plot position is ringed in its colour.
  int ringed = 0;
  for (int i = 0; i < intake.gnss().Count(); ++i) {
    const nmea::GnssSatellite& s = intake.gnss().At(i);
    const nmea::PlotPoint at = nmea::SkyPlotPosition(s.elevation, s.azimuth);
    const COLORREF ring = s.used ? kBlue : kGreen;
    ringed += canvas.Count(RECT{at.x - 10, at.y - 8, at.x + 11, at.y + 9}, ring) > 8 ? 1 : 0;
  }
  EXPECT_EQ(ringed, 30);
}
