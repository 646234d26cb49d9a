// The handheld monitor's windows in process under Wine, on the real
// resources and the real registry of the test prefix: start-up, Start GPS on
// a virtual cable registered as an active driver's port (program end COM7,
// receiver end COM17), a port that cannot be opened, the receiver switches,
// tabs, activation, device changes, the About box and Ctrl+Q.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link_handheld.hpp"
#include "receiver/link_settings.hpp"
#include "ce/device.hpp"
#include "ce/shell.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "handles/gdi.hpp"
#include "ui/satellite_marks.hpp"
#include "tests/rig/rig.hpp"
#include "tests/win/ui/export_driver.hpp"
#include "tests/win/ui/hostile_line.hpp"
#include "tests/win/ui/window_answers.hpp"
#include "tests/win/pocket/pocket_fixture.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace {

using namespace trelvane;
using test::ActiveDrivers;
using test::PocketTest;
using test::Pump;
using test::PumpUntil;
using test::SavedPortKey;
using test::TextOf;

constexpr DWORD kWaitMs = 3000;
constexpr int kBaud57600 = 6;
const std::wstring kEcho = L"$PSRF\r\n...OK\r\n";

RECT ScreenRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

std::vector<LONG> Corners(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

TEST_F(PocketTest, StartsOnTheSetupPageAboveTheMenuBarWithOnlyScanAndStartUsable) {
  EXPECT_EQ(TextOf(monitor.hwnd), L"Trelvane");
  // The work area below the task bar, shortened by the menu bar under it.
  EXPECT_EQ(Corners(ScreenRect(monitor.hwnd)), (std::vector<LONG>{0, 26, 240, 294}));
  ASSERT_NE(monitor.menuBar, nullptr);
  EXPECT_EQ(Corners(ScreenRect(monitor.menuBar)), (std::vector<LONG>{0, 294, 240, 320}));
  EXPECT_TRUE(IsWindowVisible(monitor.menuBar));
  EXPECT_EQ(WindowFromPoint(POINT{20, 300}), GetDlgItem(monitor.menuBar, IDM_ABOUT)) << "the bar is on top";
  EXPECT_EQ(TextOf(GetDlgItem(monitor.menuBar, IDM_ABOUT)), L"About");
  // The tab control was made before the shortening, leaving the bar's band.
  EXPECT_EQ(Corners(ScreenRect(monitor.tabControl)), (std::vector<LONG>{0, 26, 240, 294}));
  EXPECT_NE(GetWindowLongW(monitor.tabControl, GWL_STYLE) & TCS_BOTTOM, 0);
  EXPECT_EQ(SendMessageW(monitor.tabControl, TCM_GETITEMCOUNT, 0, 0), 5);
  // All five tabs on the narrow screen, none behind scroll arrows.
  RECT lastTab = {};
  SendMessageW(monitor.tabControl, TCM_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&lastTab));
  EXPECT_LE(lastTab.right, 240);
  const HWND arrows = FindWindowExW(monitor.tabControl, nullptr, L"msctls_updown32", nullptr);
  EXPECT_TRUE(arrows == nullptr || !IsWindowVisible(arrows)) << lastTab.left << " " << lastTab.right;
  for (HWND page : {Page(), monitor.infoPage.hwnd, monitor.accuracyPage.hwnd, monitor.chartsPage.hwnd,
                    monitor.healthPage.hwnd}) {
    EXPECT_EQ(GetParent(page), monitor.tabControl);
    EXPECT_EQ(Corners(ScreenRect(page)), (std::vector<LONG>{0, 26, 240, 272}));
  }
  // The charts page: C/N0 and the satellites, five minutes, no span to choose.
  for (int id : {1301, 1302, 1303, 1304, 1305}) {
    EXPECT_EQ(GetDlgItem(monitor.chartsPage.hwnd, id) != nullptr, id == 1302 || id == 1303) << id;
  }
  EXPECT_EQ(SelectedTab(), 0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_FALSE(IsWindowVisible(monitor.infoPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.accuracyPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.healthPage.hwnd));
  EXPECT_EQ(TextOf(GetDlgItem(monitor.accuracyPage.hwnd, 1101)), L"Fixes: 0");

  EXPECT_EQ(test::ComboItems(Control(IDC_BAUD_RATE)),
            (std::vector<std::wstring>{L"1200", L"2400", L"4800", L"9600", L"14400", L"38400", L"57600", L"115200",
                                      L"230400", L"460800", L"921600"}));
  EXPECT_EQ(TextOf(Control(IDC_BAUD_RATE)), L"4800");
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(TextOf(Ports()), L"No Com Port Find!!");
  EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Start GPS");
  EXPECT_TRUE(Enabled(IDC_START_GPS));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_POWER_SAVE, IDC_WAAS, IDC_VTG}) EXPECT_FALSE(Enabled(id)) << id;
  for (int id : {IDC_POWER_SAVE, IDC_WAAS, IDC_VTG}) EXPECT_FALSE(Checked(id)) << id;
  for (int id : {IDC_DATE, IDC_UTC, IDC_LAT, IDC_LON}) EXPECT_EQ(Readout(id), L"") << id;

  BITMAP sky = {};
  ASSERT_NE(monitor.infoPage.skyBitmap.get(), nullptr);
  GetObjectW(monitor.infoPage.skyBitmap.get(), sizeof sky, &sky);
  EXPECT_EQ(sky.bmWidth, 155);
}

// A port that cannot be opened: the page has set itself up for a running link
// before the request runs, and stays so; each press asks to open again.
class PocketNoPortTest : public PocketTest {
 protected:
  void PrepareRegistry() override { ASSERT_TRUE(ActiveDrivers::AddPort(L"04", L"COM0:", L"Drivers\\Nowhere")); }
};

TEST_F(PocketNoPortTest, AFailedOpenStaysAtCloseGpsAndTheNextPressTriesAgain) {
  ASSERT_EQ(TextOf(Ports()), L"COM0:  Nowhere");
  for (int press = 0; press < 2; ++press) {
    SetWindowTextW(Control(IDC_LOG), L"old text");
    Click(IDC_START_GPS);
    EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Close GPS");
    EXPECT_EQ(Log(), L"");
    Pump(100);  // the posted request runs
    EXPECT_EQ(monitor.setupPage.gpsRunning, 0);
    EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Close GPS");
    EXPECT_FALSE(Enabled(IDC_SCAN));
    for (int id : {IDC_COLD_START, IDC_POWER_SAVE, IDC_WAAS, IDC_VTG}) EXPECT_TRUE(Enabled(id)) << id;
  }
  DWORD type = 0;
  DWORD bytes = 0;
  EXPECT_EQ(SavedPortKey::Get(&type, &bytes), L"COM0:") << "saved whatever the open did";
}

class PocketOnCableTest : public PocketTest {
 protected:
  void PrepareRegistry() override {
    ASSERT_TRUE(ActiveDrivers::AddPort(L"02", L"COM7:", L"Drivers\\BuiltIn\\Serial"));
  }
  void SetUp() override {
    PocketTest::SetUp();
    ASSERT_TRUE(cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
    ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
    SendMessageW(Control(IDC_BAUD_RATE), CB_SETCURSEL, kBaud57600, 0);
  }
  void StartGps() {
    Click(IDC_START_GPS);
    ASSERT_TRUE(PumpUntil([&] { return monitor.setupPage.gpsRunning == 1; }, kWaitMs)) << "the port did not open";
  }

  rig::Cable cable{7, 17};
  rig::ReceiverEnd receiver;
};

TEST_F(PocketOnCableTest, StartGpsOpensTheListedPortSavesItAndFillsTheReadout) {
  ASSERT_EQ(TextOf(Ports()), L"COM7:  Serial");
  SetWindowTextW(Control(IDC_LOG), L"old text");
  StartGps();
  EXPECT_EQ(Log(), L"");
  EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Close GPS");
  EXPECT_FALSE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_POWER_SAVE, IDC_WAAS, IDC_VTG}) EXPECT_TRUE(Enabled(id)) << id;
  DWORD type = 0;
  DWORD bytes = 0;
  EXPECT_EQ(SavedPortKey::Get(&type, &bytes), L"COM7:");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, 12u);

  const std::string rmc = "$GPRMC,092204.999,A,4250.5589,S,14718.5084,E,0.00,89.68,211200,,*25\r\n";
  ASSERT_TRUE(receiver.Write(rmc));
  ASSERT_TRUE(PumpUntil([&] { return Log().find(L"$GPRMC,092204.999") != std::wstring::npos; }, kWaitMs));
  // The readout waits for its page: hidden, its controls are left alone.
  EXPECT_EQ(Readout(IDC_LON), L"");
  ChooseTab(1);
  EXPECT_EQ(Readout(IDC_DATE), L"2000/12/21");
  EXPECT_EQ(Readout(IDC_LAT_HEMISPHERE), L"S");
  EXPECT_EQ(Readout(IDC_LON_HEMISPHERE), L"E");
  ChooseTab(0);

  Click(IDC_START_GPS);
  EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Start GPS");
  ASSERT_TRUE(PumpUntil([&] { return monitor.setupPage.gpsRunning == 0; }, kWaitMs));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_POWER_SAVE, IDC_WAAS, IDC_VTG}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(test::WaitForReaders(link::HandheldLink::RunningReaders, 0, kWaitMs));
}

struct SwitchCase {
  int control;
  const char* on;
  const char* off;
};

const SwitchCase kSwitches[] = {
    {IDC_POWER_SAVE, "$PSRF150,0,300,1000,1*10\r\n", "$PSRF150,0,1000,1000,0*23\r\n"},
    {IDC_WAAS, "$PSRF151,01*0F\r\n", "$PSRF151,00*0E\r\n"},
    {IDC_VTG, "$PSRF103,05,00,01,01*20\r\n", "$PSRF103,05,00,00,01*21\r\n"},
};

// Each tick and untick is posted (1704 to 1709), echoed in the log and then
// written; so is Cold Start (2725).
// A minute of a multi-system receiver's capture mixed with line noise at
// 57600 baud: every sentence that arrives whole is taken, nothing else is,
// the window keeps answering, and memory stays put.
TEST_F(PocketOnCableTest, AHostileLineGivesEverySentenceThatArrivesWholeAndNothingElse) {
  StartGps();
  test::ExpectAHostileMinuteHeld<true>(monitor.hwnd, receiver, "multi/ublox-neo-m9n-nmea.log",
                                        [](auto done, DWORD ms) { return PumpUntil(done, ms); });
  EXPECT_TRUE(monitor.infoPage.intake->multiSystem());
  ChooseTab(1);
  EXPECT_FALSE(Readout(IDC_UTC).empty());
}

// The receiver unplugged in mid-sentence: the window keeps answering and the
// monitor does not spin; Close GPS closes cleanly, and once the receiver is
// back Start GPS opens it again and sentences flow. Unplugged again just as
// Start GPS is pressed, it answers all the while and starts again once the
// receiver is back.
TEST_F(PocketOnCableTest, AReceiverUnpluggedMidStreamLeavesTheMonitorAnsweringAndReopensWhenBack) {
  auto pump = [](auto done, DWORD ms) { return PumpUntil(done, ms); };
  auto closeGps = [&] {
    Click(IDC_START_GPS);
    return PumpUntil([&] { return monitor.setupPage.gpsRunning == 0; }, kWaitMs);
  };
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa + test::kGsa + "$GPGSA,A,3,04"));
  ASSERT_TRUE(PumpUntil([&] { return Log() == test::Narrow2Wide(test::kGsa + test::kGsa); }, kWaitMs));
  receiver.Close();
  ASSERT_TRUE(cable.Vanish());
  test::ExpectCalmWhileUnplugged(monitor.hwnd, pump);

  ASSERT_TRUE(closeGps());
  EXPECT_EQ(TextOf(Control(IDC_START_GPS)), L"Start GPS");
  EXPECT_TRUE(PumpUntil([] { return link::HandheldLink::RunningReaders() == 0; }, 2000));

  ASSERT_TRUE(cable.Restore());
  ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return Log() == test::Narrow2Wide(test::kGsa); }, kWaitMs));

  ASSERT_TRUE(closeGps());
  receiver.Close();
  std::thread unplug([&] { cable.Vanish(); });
  Click(IDC_START_GPS);
  unplug.join();
  EXPECT_LT(test::WatchAnswers(monitor.hwnd, 2000, pump).slowestMs, 100u);
  if (monitor.setupPage.gpsRunning == 1) {
    ASSERT_TRUE(closeGps());
  }
  ASSERT_TRUE(cable.Restore());
  ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return Log() == test::Narrow2Wide(test::kGsa); }, kWaitMs));
}

TEST_F(PocketOnCableTest, SwitchesAndColdStartReachTheReceiverAfterTheEcho) {
  StartGps();
  for (const SwitchCase& s : kSwitches) {
    for (const char* sentence : {s.on, s.off}) {
      SetWindowTextW(Control(IDC_LOG), L"");
      Click(s.control);
      EXPECT_EQ(Log(), L"") << "posted: nothing runs inside the click";
      ASSERT_TRUE(PumpUntil([&] { return Log() == kEcho; }, kWaitMs)) << sentence;
      EXPECT_EQ(receiver.Read(std::string(sentence).size(), kWaitMs), sentence);
    }
  }
  SetWindowTextW(Control(IDC_LOG), L"");
  Click(IDC_COLD_START);
  ASSERT_TRUE(PumpUntil([&] { return Log() == kEcho; }, kWaitMs));
  const std::string coldStart = "$PSRF104,0,0,0,96000,237759,1946,12,4*1D\r\n";
  EXPECT_EQ(receiver.Read(coldStart.size(), kWaitMs), coldStart);

  // A tick made during a run stays, greyed out, after Close GPS; the next
  // start sends nothing for it.
  SetWindowTextW(Control(IDC_LOG), L"");
  Click(IDC_VTG);
  ASSERT_TRUE(PumpUntil([&] { return Log() == kEcho; }, kWaitMs));
  EXPECT_EQ(receiver.Read(std::string(kSwitches[2].on).size(), kWaitMs), kSwitches[2].on);
  Click(IDC_START_GPS);
  ASSERT_TRUE(PumpUntil([&] { return monitor.setupPage.gpsRunning == 0; }, kWaitMs));
  EXPECT_TRUE(Checked(IDC_VTG));
  EXPECT_FALSE(Enabled(IDC_VTG));
  StartGps();
  EXPECT_EQ(receiver.Read(1, 300), "");
}

class PocketTwoPortsTest : public PocketTest {
 protected:
  void PrepareRegistry() override {
    ASSERT_TRUE(ActiveDrivers::AddPort(L"02", L"COM2:", L"Drivers\\Two"));
    ASSERT_TRUE(ActiveDrivers::AddPort(L"03", L"COM3:", L"Drivers\\Three"));
    ASSERT_TRUE(SavedPortKey::Set(L"COM3:"));
  }
};

TEST_F(PocketTwoPortsTest, SwitchingBackToTheSetupTabChoosesTheSelectionAgain) {
  ASSERT_EQ(test::Selection(Ports()), 1);
  SendMessageW(Ports(), CB_SETCURSEL, 0, 0);
  ChooseTab(1);
  EXPECT_TRUE(IsWindowVisible(monitor.infoPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(Page()));
  ASSERT_TRUE(SavedPortKey::Set(L"COM2:"));
  ChooseTab(0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_EQ(test::ComboItems(Ports()), (std::vector<std::wstring>{L"COM2:  Two", L"COM3:  Three"}));
  EXPECT_EQ(test::Selection(Ports()), 0) << "the saved port as it is now";
}

TEST_F(PocketTwoPortsTest, ActivationRescansOnlyWhenNotByAClick) {
  ASSERT_TRUE(ActiveDrivers::AddPort(L"05", L"COM5:", L"Drivers\\Five"));
  SendMessageW(monitor.hwnd, WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 0), 0);
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 2);
  SendMessageW(monitor.hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(test::Selection(Ports()), 1) << "COM3: is still the saved port";
}

TEST_F(PocketTwoPortsTest, ADeviceChangeRescansButNotWhileTheWindowIsBeingBuilt) {
  ASSERT_TRUE(ActiveDrivers::AddPort(L"05", L"COM5:", L"Drivers\\Five"));
  pocket::MainWindow::initialising = 1;
  EXPECT_EQ(SendMessageW(monitor.hwnd, WM_DEVICECHANGE, 0x8000, 0), 1);
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 2);
  pocket::MainWindow::initialising = 0;
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(SendMessageW(monitor.hwnd, WM_DEVICECHANGE, 0x0007, 0), 1);
  EXPECT_GE(GetTickCount64() - before, 450u) << "the drivers are given time to settle";
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 3);
}

TEST_F(PocketTwoPortsTest, ScanComPortRebuildsTheListFromTheRegistry) {
  ActiveDrivers::Clear();
  Click(IDC_SCAN);
  EXPECT_EQ(SendMessageW(Ports(), CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(TextOf(Ports()), L"No Com Port Find!!");
}

// The longest values today's receivers send fit their boxes: a coordinate
// of five decimals wider than its box is shown in a smaller size of the
// page's font; one of four decimals, as a $GP receiver sends, in the page's
// own, as it always was.
TEST_F(PocketTest, TheLongestReadoutValuesFitTheirBoxes) {
  ChooseTab(1);
  HWND page = monitor.infoPage.hwnd;
  const HFONT pageFont = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
  struct Fit {
    int id;
    const wchar_t* text;
    bool condensed;
  };
  const Fit fits[] = {
      {IDC_LAT, L"38\u00B006.62960'", true},   {IDC_LON, L"122\u00B037.61380'", true},
      {IDC_DIRECTION, L"359.99", false},       {IDC_SPEED, L"185 Km/hr", false},
      {IDC_LON, L"005\u00B018.8170'", false},  {IDC_LAT, L"52\u00B051.0094'", false},
  };
  for (const Fit& f : fits) {
    monitor.infoPage.SetControlText(f.id, f.text);
    HWND box = GetDlgItem(page, f.id);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    EXPECT_EQ(font != pageFont, f.condensed) << f.id;
    if (!f.condensed && (f.id == IDC_LAT || f.id == IDC_LON)) continue;  // four decimals: as it always was
    RECT client = {};
    GetClientRect(box, &client);
    const DWORD margins = static_cast<DWORD>(SendMessageW(box, EM_GETMARGINS, 0, 0));
    HDC dc = GetDC(box);
    HGDIOBJ before = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32W(dc, f.text, static_cast<int>(wcslen(f.text)), &size);
    SelectObject(dc, before);
    ReleaseDC(box, dc);
    EXPECT_LE(size.cx, client.right - LOWORD(margins) - HIWORD(margins)) << f.id;
    EXPECT_EQ(Readout(f.id), f.text);
  }
}

// The readout's boxes turn grey with the data's age and back with the next
// sentence; their background stays the page's.
TEST_F(PocketTest, TheReadoutGreysWhileTheDataIsOld) {
  ChooseTab(1);
  pocket::InfoPage& info = monitor.infoPage;
  info.SetControlText(IDC_UTC, L"22:37:47");
  HWND box = GetDlgItem(info.hwnd, IDC_UTC);
  auto count = [&](COLORREF colour) {
    UpdateWindow(box);
    RECT client = {};
    GetClientRect(box, &client);
    HDC dc = GetDC(box);
    int n = 0;
    for (int y = 0; y < client.bottom; ++y)
      for (int x = 0; x < client.right; ++x) n += GetPixel(dc, x, y) == colour ? 1 : 0;
    ReleaseDC(box, dc);
    return n;
  };
  const COLORREF black = RGB(0, 0, 0);
  ASSERT_GT(count(black), 0);
  const COLORREF background = [&] {
    HDC dc = GetDC(box);
    const COLORREF corner = GetPixel(dc, 0, 0);
    ReleaseDC(box, dc);
    return corner;
  }();
  // The age as the monitor session changes it, and the page told so.
  const DWORD now = GetTickCount();
  info.age.LinkOpened(now);
  info.age.Tick(now + 5000);
  info.AgeChanged();
  EXPECT_EQ(count(black), 0);
  EXPECT_GT(count(ui::kGreyedColor), 0);
  HDC dc = GetDC(box);
  EXPECT_EQ(GetPixel(dc, 0, 0), background);
  ReleaseDC(box, dc);
  info.age.SentenceAccepted(now + 5000);
  info.AgeChanged();
  EXPECT_GT(count(black), 0);
  EXPECT_EQ(count(ui::kGreyedColor), 0);
  info.age.LinkClosed();
  info.AgeChanged();
  EXPECT_EQ(count(black), 0);
}

// The same census message as the desktop monitor's, for scripts/soak.
TEST_F(PocketTest, TheGdiCensusMessageAnswersTheObjectsThePaintHelpersHold) {
  const long before = handles::GdiCensus::Live();
  {
    handles::OwnedPen pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    EXPECT_EQ(SendMessageW(monitor.hwnd, receiver::kMsgGdiCensus, 0, 0), before + 1);
  }
  EXPECT_EQ(SendMessageW(monitor.hwnd, receiver::kMsgGdiCensus, 0, 0), before);
}

// File > Export Track on a played capture: the format is the filter chosen
// when the name typed has no extension, the track is named after the file,
// and the log says where it went.
TEST_F(PocketTest, ExportTrackWritesThePlayedFilesTrackInTheFormatChosen) {
  const std::string captures = TRELVANE_CAPTURE_DIR;
  const std::wstring capture = std::wstring(captures.begin(), captures.end()) + L"/multi/ublox-zed-f9p-nmea.log";
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring played = std::wstring(folder) + L"f9p drive.nmea";
  const std::wstring kml = std::wstring(folder) + L"f9p drive.kml";
  ASSERT_TRUE(CopyFileW(capture.c_str(), played.c_str(), FALSE));
  DeleteFileW(kml.c_str());
  monitor.PlayFile(played.c_str());
  test::SaveAsAnswer answer;
  answer.filter = 2;
  answer.name = std::wstring(folder) + L"f9p drive";
  test::AnswerSaveAsWith(answer, [&] { SendMessageW(monitor.hwnd, WM_COMMAND, IDM_EXPORT_TRACK, 0); });
  EXPECT_TRUE(answer.answered);
  EXPECT_EQ(answer.offered.substr(answer.offered.size() - 13), L"f9p drive.gpx");
  ASSERT_TRUE(PumpUntil([&] { return !monitor.trackExport.Running(); }, 10000));
  EXPECT_EQ(test::FileBytes(kml), test::TrackInOneGo(played, monitor::TrackFormat::kKml, "f9p drive.nmea"));
  EXPECT_NE(Log().find(L"Exported 29 points to " + kml + L"\r\n"), std::wstring::npos) << Log();
  SendMessageW(monitor.hwnd, WM_COMMAND, IDM_STOP_PLAYING, 0);
  DeleteFileW(kml.c_str());
  DeleteFileW(played.c_str());
}

TEST_F(PocketTest, WhileTheWindowIsBeingBuiltTabChangesSnapBackAndCtrlQIsIgnored) {
  pocket::MainWindow::initialising = 1;
  ChooseTab(1);
  EXPECT_EQ(SelectedTab(), 0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  SendMessageW(monitor.hwnd, WM_COMMAND, IDM_EXIT, 0);
  Pump(100);
  EXPECT_TRUE(IsWindow(monitor.hwnd));
  pocket::MainWindow::initialising = 0;
  SendMessageW(monitor.hwnd, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(monitor.hwnd); }, kWaitMs));
  EXPECT_EQ(monitor.infoPage.skyBitmap.get(), nullptr) << "deleted with the window";
}

// The About button of the menu bar opens the About box full screen; its Done
// button closes it. The box runs its own loop inside the click, so a second
// thread looks at it and presses Done, as the person in front of it would.
TEST_F(PocketTest, TheAboutBoxFillsTheScreenAndClosesWithDone) {
  struct Seen {
    HWND box = nullptr;
    HWND owner = nullptr;
    RECT rect = {};
    std::wstring done;
  } seen;
  std::thread person([&seen] {
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    while (seen.box == nullptr && GetTickCount64() < deadline) {
      HWND box = FindWindowW(L"#32770", L"About");
      if (box != nullptr && IsWindowVisible(box) && GetDlgItem(box, IDOK) != nullptr) {
        seen.owner = GetWindow(box, GW_OWNER);
        GetWindowRect(box, &seen.rect);
        seen.done = TextOf(GetDlgItem(box, IDOK));
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        seen.box = box;
      }
      Sleep(20);
    }
  });
  PostMessageW(GetDlgItem(monitor.menuBar, IDM_ABOUT), BM_CLICK, 0, 0);
  Pump(200);  // the click opens the box and returns when Done ended it
  person.join();
  ASSERT_NE(seen.box, nullptr) << "no About box";
  EXPECT_EQ(seen.owner, monitor.hwnd);
  EXPECT_EQ(Corners(seen.rect), (std::vector<LONG>{0, 26, 240, 320}));
  EXPECT_EQ(seen.done, L"Done");
  EXPECT_FALSE(IsWindow(seen.box));
}

// The program's own resources with a bitmap 120 that cannot be loaded: one
// "!" box, then the monitor runs on without its sky picture. The resources
// are a copy of the test program's with that bitmap spoiled, loaded as data.
TEST(PocketWithoutSkyTest, ASkyBitmapThatCannotBeLoadedGivesOneExclamationBox) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH] = {};
  wchar_t copy[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"tpk", 0, copy);
  ASSERT_TRUE(CopyFileW(self, copy, FALSE));
  HANDLE update = BeginUpdateResourceW(copy, FALSE);
  ASSERT_NE(update, nullptr);
  char spoiled[] = "not a bitmap";
  ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(IDB_SKY), 1028, spoiled, sizeof spoiled));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  HMODULE resources = LoadLibraryExW(copy, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(resources, nullptr);

  ActiveDrivers drivers;
  SavedPortKey saved;
  struct Seen {
    int boxes = 0;
    std::wstring text;
    std::wstring caption;
  } seen;
  std::atomic<bool> started{false};
  std::thread person([&] {
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    while (!started && GetTickCount64() < deadline) {
      HWND box = FindWindowW(L"#32770", L"!");
      if (box != nullptr && IsWindowVisible(box)) {
        ++seen.boxes;
        seen.caption = TextOf(box);
        seen.text = TextOf(GetDlgItem(box, 0xFFFF));
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        while (IsWindow(box) && GetTickCount64() < deadline) Sleep(10);
      }
      Sleep(10);
    }
  });
  pocket::MainWindow::initialising = 0;
  pocket::MainWindow monitor;
  const int shown = monitor.InitInstance(resources, SW_SHOW);
  started = true;
  person.join();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(seen.boxes, 1);
  EXPECT_EQ(seen.caption, L"!");
  EXPECT_EQ(seen.text, L"!");
  EXPECT_EQ(monitor.infoPage.skyBitmap.get(), nullptr);
  EXPECT_TRUE(IsWindowVisible(monitor.setupPage.hwnd));
  DestroyWindow(monitor.hwnd);
  Pump(50);
  FreeLibrary(resources);
  DeleteFileW(copy);
}

}  // namespace
