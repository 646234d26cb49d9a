// The handheld information page painted into a DIB: the sky picture, the bar
// area cleared to white, and for every entry below satellitesInView (at most
// 12) its bar, ring and labels, with empty numbers drawn too; repeated paints
// identical and leaving no drawing object behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "handles/gdi.hpp"
#include "pocket/info_page.hpp"
#include "pocket/resource.h"
#include "tests/win/ui/dib_canvas.hpp"

namespace {

using namespace trelvane;
using test::Canvas;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr int kBase = 230;

struct Satellite {
  const wchar_t* prn;
  bool inUse;
  int snr;
  int x, y;
};

// The ring of a satellite at (x, y): its bounding box.
RECT Ring(int x, int y) { return RECT{x - 10, y - 8, x + 10, y + 8}; }

class PocketInfoPaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.skyBitmap.Reset(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKY)));
    ASSERT_NE(page.skyBitmap.get(), nullptr);
  }

  void Set(int index, const Satellite& s) {
    nmea::SatelliteEntry<wchar_t>& e = page.satellites.entries[index];
    wcsncpy(e.prn, s.prn, nmea::kPrnChars - 1);
    e.inUse = s.inUse ? 1 : 0;
    e.snr = s.snr;
    e.plotX = s.x;
    e.plotY = s.y;
  }

  void Paint() {
    // What the dialog leaves outside the painted areas: grey, to tell them apart.
    RECT all = {0, 0, test::kPageWidth, test::kPageHeight};
    FillRect(canvas.dc(), &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    page.Paint(canvas.dc());
  }

  // Height of the coloured bar standing on y = 230 in column i.
  int BarHeight(int i, COLORREF color) const {
    int h = 0;
    while (h < 60 && canvas.At(5 + 20 * i, kBase - 1 - h) == color) ++h;
    return h;
  }

  pocket::InfoPage page;
  Canvas canvas;
};

struct BarCase {
  const char* what;
  Satellite satellite;
  COLORREF bar;      // outline colour of the bar; kWhite for none
  int height;        // outer height of the bar
  bool hollow;
  COLORREF ring;
};

const BarCase kBarCases[] = {
    {"used, SNR 45: solid blue bar 45 high, blue ring", {L"07", true, 45, 60, 60}, kBlue, 45, false, kBlue},
    {"not used, SNR 45: hollow red bar 46 high, green ring", {L"07", false, 45, 60, 60}, kRed, 46, true, kGreen},
    {"no signal: no bar, red ring", {L"07", false, 0, 60, 60}, kWhite, 0, false, kRed},
    {"used, SNR 63: at most 50", {L"07", true, 63, 60, 60}, kBlue, 50, false, kBlue},
    {"not used, SNR 63: at most 49 inside, 50 outside", {L"07", false, 63, 60, 60}, kRed, 50, true, kGreen},
};

TEST_F(PocketInfoPaintTest, BarsAndRingsFollowUseAndSignal) {
  for (const BarCase& c : kBarCases) {
    page.satellites = {};
    page.satellites.satellitesInView = 1;
    Set(0, c.satellite);
    Paint();
    if (c.bar == kWhite) {
      EXPECT_EQ(canvas.CountOther(RECT{0, 160, 240, 209}, kWhite), 0) << c.what;
    } else {
      EXPECT_EQ(BarHeight(0, c.bar), c.height) << c.what;
      EXPECT_EQ(canvas.At(5, kBase - c.height - 1), kWhite) << c.what;
      // Above the SNR number, which is drawn over the bar.
      const RECT inside = {6, kBase - c.height + 1, 18, 209};
      if (c.hollow) {
        EXPECT_EQ(canvas.CountOther(inside, kWhite), 0) << c.what;
        EXPECT_EQ(canvas.At(18, kBase - 1), kRed) << c.what;
      } else {
        EXPECT_EQ(canvas.CountOther(inside, c.bar), 0) << c.what;
      }
    }
    EXPECT_GT(canvas.Count(Ring(60, 60), c.ring), 10) << c.what;
    // The number under the bar is drawn in black in the label slot.
    EXPECT_GT(canvas.Count(RECT{5, kBase, 20, 250}, RGB(0, 0, 0)), 0) << c.what;
    // The SNR above the bar: only where there is one.
    EXPECT_EQ(canvas.Count(RECT{5, 210, 20, kBase}, RGB(0, 0, 0)) > 0, c.satellite.snr != 0) << c.what;
  }
}

TEST_F(PocketInfoPaintTest, NothingButTheSkyAndAWhiteBarAreaWithoutSatellites) {
  Set(0, {L"07", true, 45, 60, 60});  // an entry the count does not cover
  page.satellites.satellitesInView = 0;
  Paint();
  EXPECT_EQ(canvas.CountOther(pocket::kBarArea, kWhite), 0);
  // The sky picture's white cross and the page's own background elsewhere.
  EXPECT_EQ(canvas.At(77, 20), kWhite);
  EXPECT_EQ(canvas.At(200, 100), RGB(128, 128, 128));
  EXPECT_EQ(canvas.At(200, 255), RGB(128, 128, 128)) << "below the bar area nothing is cleared";
}

TEST_F(PocketInfoPaintTest, EntriesBelowTheCountAreDrawnUpToTwelveEvenWithoutANumber) {
  for (int i = 0; i < nmea::kSatelliteEntries; ++i) Set(i, {i == 3 ? L"" : L"12", true, 20 + i, 20 + 9 * i, 120});
  struct CountCase {
    int inView;
    int drawn;
  } const kCounts[] = {{3, 3}, {12, 12}, {14, 12}, {-1, 12}};
  for (const CountCase& c : kCounts) {
    page.satellites.satellitesInView = c.inView;
    Paint();
    for (int i = 0; i < nmea::kSatelliteEntries; ++i) {
      EXPECT_EQ(BarHeight(i, kBlue), i < c.drawn ? 20 + i : 0) << "in view " << c.inView << ", entry " << i;
    }
  }
  // An entry whose number is empty still has its ring.
  page.satellites.satellitesInView = 4;
  Paint();
  EXPECT_GT(canvas.Count(Ring(20 + 27, 120), kBlue), 10);
}

// Entries are not cleared between groups: a smaller group leaves the rest
// as they were, and they show again when the count covers them.
TEST_F(PocketInfoPaintTest, EntriesLeftFromALargerGroupStayDrawnWhileTheCountCoversThem) {
  for (int i = 0; i < 6; ++i) Set(i, {L"05", false, 30, 40, 40});
  page.satellites.satellitesInView = 6;
  Paint();
  EXPECT_EQ(BarHeight(5, kRed), 31);
  Set(0, {L"09", true, 40, 100, 100});
  page.satellites.satellitesInView = 2;
  Paint();
  EXPECT_EQ(BarHeight(0, kBlue), 40);
  EXPECT_EQ(BarHeight(5, kRed), 0);
  page.satellites.satellitesInView = 6;
  Paint();
  EXPECT_EQ(BarHeight(5, kRed), 31);
}

TEST_F(PocketInfoPaintTest, RepeatedPaintsAreIdenticalAndReleaseWhatTheyMake) {
  Set(0, {L"07", true, 45, 60, 60});
  Set(1, {L"13", false, 33, 100, 30});
  Set(2, {L"21", false, 0, 30, 110});
  page.satellites.satellitesInView = 3;
  Paint();
  const auto first = canvas.Pixels();
  const long live = handles::GdiCensus::Live();
  for (int n = 0; n < 50; ++n) Paint();
  EXPECT_EQ(canvas.Pixels(), first);
  EXPECT_EQ(handles::GdiCensus::Live(), live);
}

TEST_F(PocketInfoPaintTest, WithoutTheSkyPictureTheMarksAreDrawnOnThePage) {
  page.skyBitmap.Reset();
  Set(0, {L"07", true, 45, 60, 60});
  page.satellites.satellitesInView = 1;
  Paint();
  EXPECT_EQ(canvas.At(77, 20), RGB(128, 128, 128));
  EXPECT_EQ(BarHeight(0, kBlue), 45);
}

// Bitmap 120 is the desktop monitor's sky picture, pixel for pixel.
TEST_F(PocketInfoPaintTest, TheSkyPictureIsTheDesktopArtwork) {
  handles::OwnedBitmap art(static_cast<HBITMAP>(
      LoadImageW(nullptr, TRELVANE_DESKTOP_SKY_BMP, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  ASSERT_NE(art.get(), nullptr);
  BITMAP size = {};
  GetObjectW(page.skyBitmap.get(), sizeof size, &size);
  EXPECT_EQ(size.bmWidth, 155);
  EXPECT_EQ(size.bmHeight, 155);
  Canvas other;
  std::swap(page.skyBitmap, art);
  page.Paint(other.dc());
  std::swap(page.skyBitmap, art);
  Paint();
  for (int y = 0; y < 155; y += 3) {
    for (int x = 0; x < 155; x += 3) ASSERT_EQ(canvas.At(x, y), other.At(x, y)) << x << "," << y;
  }
}

// A silent receiver on the handheld: after 3 s the $GP marks turn grey and
// "No data for N s" shows in the sky's lower left corner, outside the globe;
// the next sentence restores the colours and takes the age away.
TEST_F(PocketInfoPaintTest, SilenceGreysTheMarksAndShowsTheAgeOnTheSky) {
  Set(0, {L"07", true, 45, 60, 60});
  page.satellites.satellitesInView = 1;
  Paint();
  const auto fresh = canvas.Pixels();
  const RECT age = pocket::kAllSystemsLayout.age;
  page.age.LinkOpened(500);
  page.age.Tick(3400);
  Paint();
  EXPECT_EQ(canvas.Pixels(), fresh) << "2.9 s of silence: nothing yet";
  page.age.Tick(12600);
  EXPECT_EQ(page.age.ShownSeconds(), 12);
  Paint();
  EXPECT_EQ(BarHeight(0, ui::kGreyedColor), 45);
  EXPECT_EQ(canvas.Count(Ring(60, 60), kBlue), 0);
  EXPECT_GT(canvas.Count(Ring(60, 60), ui::kGreyedColor), 10);
  const auto grey = canvas.Pixels();
  int changed = 0;
  for (int y = age.top; y < age.bottom; ++y)
    for (int x = age.left; x < age.right; ++x) changed += grey[y * test::kPageWidth + x] != fresh[y * test::kPageWidth + x];
  EXPECT_GT(changed, 20) << "the age";
  page.age.SentenceAccepted(12700);
  Paint();
  EXPECT_EQ(canvas.Pixels(), fresh);
}

}  // namespace
