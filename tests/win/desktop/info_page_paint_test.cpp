// The information page painted into a 32-bit DIB section, pixel by pixel:
// labels, sky picture, bars, rings and numbers from the satellite table, the
// degree sign, and repeated paints that are identical and leave no GDI
// object behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "handles/gdi.hpp"
#include "desktop/info_page.hpp"
#include "desktop/resource.h"
#include "pocket/info_page.hpp"
#include "ui/satellite_marks.hpp"
#include "tests/native/nmea/capture_file.hpp"
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
    page.skyBitmap.Reset(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKY)));
    ASSERT_NE(page.skyBitmap.get(), nullptr);
  }

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
  HGDIOBJ old = SelectObject(picture, page.skyBitmap.get());
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
  const long live = handles::GdiCensus::Live();
  for (int i = 0; i < 50; ++i) Paint();
  EXPECT_EQ(handles::GdiCensus::Live(), live);
  EXPECT_EQ(live, 1) << "only the page's sky picture";
  EXPECT_TRUE(canvas.Pixels() == first);
  // The sky picture was selected back out of every temporary context: it can
  // still be selected into another.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_NE(SelectObject(other, page.skyBitmap.get()), nullptr);
  DeleteDC(other);
}

}  // namespace

// The all-systems view rendered from stored views, the real captures' skies
// as they stand at each capture's end, in both builds' layouts, fresh and
// stale: every satellite with a place has a mark and every one with a signal
// a bar; marks seldom overlap; every text lies inside its page and covers no
// other text, and no label covers a mark.
class AllSystemsRenderTest : public InfoPagePaintTest {
 protected:
  void FeedCapture(const char* name) {
    const std::string bytes = trelvane::testing::ReadCapture(name);
    ASSERT_FALSE(bytes.empty()) << name;
    // Each line as the reader hands it over, ending in CR LF.
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      intake.HandleSentence((line + "\r\n").c_str());
      start = end + 1;
    }
    ASSERT_TRUE(intake.multiSystem()) << name;
  }

  trelvane::testing::RecordingLogPane<char> log;
  nmea::SentenceIntake<nmea::DesktopBuild> intake{log, page.record, page.satellites, {}};
};

struct RenderCase {
  const char* capture;
  bool pocket;           // the handheld's layout, else the desktop's
  bool stale;
  int piledMarks;  // at most this many pairs of marks cover each other's centres
};

const RenderCase kRenderCases[] = {
    {"multi/ublox-neo-m9n-nmea.log", false, false, 4}, {"multi/ublox-neo-m9n-nmea.log", true, false, 4},
    {"multi/ublox-neo-m9n-nmea.log", false, true, 4},  {"multi/ublox-neo-m9n-nmea.log", true, true, 4},
    {"multi/ublox-zed-f9p-nmea.log", false, false, 4}, {"multi/ublox-zed-f9p-nmea.log", true, false, 4},
    {"multi/quectel-l76k-nmea.log", false, false, 2},  {"multi/quectel-l76k-nmea.log", true, false, 2},
    {"multi/neo-m8n.log", false, false, 2},            {"multi/beidou-gb.log", true, false, 2},
};

TEST_F(AllSystemsRenderTest, EverySatelliteShowsAndNoTextCoversAnother) {
  for (const RenderCase& c : kRenderCases) {
    SCOPED_TRACE(::testing::Message() << c.capture << (c.pocket ? " pocket" : " desktop") << (c.stale ? " stale" : ""));
    intake.ResetTalkers();
    FeedCapture(c.capture);
    const nmea::GnssView& view = intake.gnss();
    const ui::AllSystemsLayout& layout = c.pocket ? pocket::kAllSystemsLayout : desktop::kAllSystemsLayout;
    const RECT bounds = c.pocket ? RECT{0, 0, 240, layout.labelBottom} : RECT{0, 0, kWidth, kHeight};

    handles::FillSolid(canvas.dc(), RECT{0, 0, kWidth, kHeight}, kWhite);
    ui::DrawSkyPicture(canvas.dc(), page.skyBitmap.get());
    const std::vector<DWORD> before = canvas.Pixels();
    SetBkMode(canvas.dc(), TRANSPARENT);
    ui::ViewPlacement placed;
    ui::DrawAllSystemsView<char>(canvas.dc(), view, layout, ui::Obstacles{}, c.stale, desktop::DrawCp950Text, &placed);
    EXPECT_EQ(handles::GdiCensus::Live(), 1) << "the paint released what it made; the sky picture is the page's";
    const std::vector<DWORD> after = canvas.Pixels();
    auto inked = [&](const RECT& r) {
      int n = 0;
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += before[y * kWidth + x] != after[y * kWidth + x] ? 1 : 0;
      return n;
    };

    int placedCount = 0, signalled = 0, used = 0;
    for (int i = 0; i < view.Count(); ++i) {
      const nmea::GnssSatellite& s = view.At(i);
      placedCount += ui::HasSkyPlace(s) ? 1 : 0;
      signalled += s.snr > 0 ? 1 : 0;
      used += s.used && s.snr > 0 ? 1 : 0;
    }
    ASSERT_GT(placedCount, 7);
    EXPECT_EQ(placed.marks.count, placedCount);
    EXPECT_EQ(placed.bars.count, signalled);

    // Marks pile up where one covers another's centre: only where two
    // satellites stand within a few degrees of each other.
    int piled = 0;
    for (int a = 0; a < placed.marks.count; ++a) {
      EXPECT_GT(inked(placed.marks.rect[a]), 0) << "mark " << a;
      for (int b = a + 1; b < placed.marks.count; ++b) {
        const int dx = placed.marks.rect[a].left - placed.marks.rect[b].left;
        const int dy = placed.marks.rect[a].top - placed.marks.rect[b].top;
        piled += dx * dx + dy * dy <= ui::kMarkRadius * ui::kMarkRadius ? 1 : 0;
      }
    }
    EXPECT_LE(piled, c.piledMarks);

    // Bars: inside the area, at most 20 pixels apart, coloured by use (grey when stale).
    int blue = 0;
    for (int k = 0; k < placed.bars.count; ++k) {
      const RECT& bar = placed.bars.rect[k];
      EXPECT_GE(bar.left, layout.barLeft);
      EXPECT_LE(bar.right, layout.barRight);
      if (k > 0) {
        EXPECT_LE(bar.left - placed.bars.rect[k - 1].left, 20);
      }
      const COLORREF bottom = canvas.At(bar.left, bar.bottom - 1);
      blue += bottom == kBlue ? 1 : 0;
      EXPECT_TRUE(c.stale ? bottom == ui::kGreyedColor : (bottom == kBlue || bottom == kRed)) << "bar " << k;
    }
    EXPECT_EQ(blue, c.stale ? 0 : used);

    // Texts: inside the page, each leaving ink, none covering another; the
    // labels beside the marks inside the sky, covering no mark.
    ui::Obstacles all = placed.texts;
    for (int a = 0; a < placed.labels.count; ++a) {
      const RECT& label = placed.labels.rect[a];
      EXPECT_TRUE(ui::Inside(label, layout.sky)) << "label " << a;
      EXPECT_FALSE(placed.marks.Hits(label)) << "label " << a << " on a mark";
      all.Add(label);
    }
    for (int a = 0; a < all.count; ++a) {
      const RECT& t = all.rect[a];
      EXPECT_TRUE(ui::Inside(t, bounds)) << "text " << a << " at " << t.left << "," << t.top;
      EXPECT_GT(inked(t), 0) << "text " << a << " at " << t.left << "," << t.top;
      for (int b = a + 1; b < all.count; ++b) EXPECT_FALSE(ui::Overlaps(t, all.rect[b])) << "texts " << a << ", " << b;
    }
    EXPECT_GE(placed.labels.count * 3, placedCount * 2) << "two thirds of the marks have their number";

    // Stale: nothing of the signal colours is left.
    int coloured = 0;
    for (COLORREF band : ui::kBandColors) coloured += canvas.Count(RECT{0, 0, 155, 155}, band);
    EXPECT_EQ(coloured == 0, c.stale);
  }
}

// Five decimals of minutes, a course of "359.99" and a three-digit speed:
// each value is drawn whole, as it would be with room to spare.
TEST_F(InfoPagePaintTest, TheLongestReadoutValuesAreNotCut) {
  struct Fit {
    char* field;
    const char* text;
    const wchar_t* shown;
    POINT at;
    int room;  // up to the next text
  };
  const Fit fits[] = {
      {page.record.latitude, "38\xA2X06.62960'", L"38\u00B006.62960'", {60, 157}, 90},
      {page.record.longitude, "122\xA2X37.61380'", L"122\u00B037.61380'", {205, 157}, 130},
      {page.record.direction, "359.99", L"359.99", {240, 45}, 95},
      {page.record.speed, "185 Km/hr", L"185 Km/hr", {240, 65}, 95},
  };
  for (const Fit& f : fits) std::strcpy(f.field, f.text);
  Paint();
  for (const Fit& f : fits) {
    SCOPED_TRACE(f.text);
    Canvas expected;
    handles::FillSolid(expected.dc(), desktop::kInfoRepaintArea, kWhite);
    SetBkMode(expected.dc(), TRANSPARENT);
    RECT place = {f.at.x, f.at.y, f.at.x + 400, f.at.y + 20};
    DrawTextW(expected.dc(), f.shown, -1, &place, DT_NOCLIP);
    SIZE size = {};
    GetTextExtentPoint32W(expected.dc(), f.shown, static_cast<int>(wcslen(f.shown)), &size);
    EXPECT_LT(size.cx, f.room);
    int differing = 0;
    for (int y = f.at.y; y < f.at.y + 13; ++y)
      for (int x = f.at.x; x < f.at.x + f.room; ++x) differing += canvas.At(x, y) != expected.At(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
  }
}

// A receiver falls silent: after 3 s the readout and the $GP marks turn grey
// and the age counts; the next sentence brings the colours back; a closed
// link leaves the page grey without a count.
TEST_F(InfoPagePaintTest, SilenceGreysThePageAndCountsItsAge) {
  SetSatellite(3, "17", 1, 45, 300, 260);
  std::strcpy(page.record.utc, "09:47:36");
  const RECT utc = {240, 25, 300, 45};
  const RECT age = desktop::kAllSystemsLayout.age;
  struct Step {
    const char* what;
    int event;  // 0 open, 1 tick, 2 sentence, 3 close
    DWORD at;
    bool grey;
    bool counted;
  };
  const Step steps[] = {
      {"opened", 0, 1000, false, false},        {"2.9 s of silence", 1, 3900, false, false},
      {"3 s of silence", 1, 4000, true, true},  {"a sentence", 2, 4200, false, false},
      {"7 s more", 1, 11300, true, true},       {"closed", 3, 11400, true, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.event == 0) page.age.LinkOpened(step.at);
    if (step.event == 1) page.age.Tick(step.at);
    if (step.event == 2) page.age.SentenceAccepted(step.at);
    if (step.event == 3) page.age.LinkClosed();
    Paint();
    EXPECT_EQ(canvas.Count(utc, RGB(0, 0, 0)) == 0, step.grey) << "the readout's colour";
    EXPECT_EQ(canvas.Count(utc, ui::kGreyedColor) > 0, step.grey);
    EXPECT_EQ(canvas.Count(RECT{65, 185, 79, 230}, kBlue) == 0, step.grey) << "the bar's colour";
    EXPECT_EQ(canvas.CountOther(age, kWhite) > 0, step.counted) << "the age";
  }
  EXPECT_EQ(page.age.ShownSeconds(), -1);
}
