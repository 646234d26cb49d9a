// The desktop monitor's windows in process under Wine: start-up state, the
// link started and closed on a virtual cable (program end COM3, receiver end
// COM13), the receiver commands, the log pane, tabs, accelerators, help and
// device arrival.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link_desktop.hpp"
#include "link/line_batch.hpp"
#include "receiver/link_settings.hpp"
#include "recording/recording_format.hpp"
#include "desktop/about_dialog.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"
#include "handles/gdi.hpp"
#include "tests/rig/rig.hpp"
#include "tests/win/ui/export_driver.hpp"
#include "tests/win/ui/hostile_line.hpp"
#include "tests/win/ui/window_answers.hpp"
#include "tests/win/desktop/monitor_fixture.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace {

using namespace trelvane;
using test::MonitorTest;
using test::Pump;
using test::PumpUntil;
using test::WindowText;

constexpr int kCom3Item = 2;     // "COM3:" in the fixed port list
constexpr int kCom4Item = 3;     // registered, but no cable behind it
constexpr int kBaud57600 = 6;

TEST_F(MonitorTest, StartsOnTheSetupPageWithTheFixedListsAndTheCommandsGreyedOut) {
  EXPECT_EQ(WindowText(monitor.hwnd), "Trelvane");
  RECT frame;
  GetWindowRect(monitor.hwnd, &frame);
  EXPECT_EQ(frame.right - frame.left, 550);
  EXPECT_EQ(frame.bottom - frame.top, 420);
  EXPECT_EQ(GetWindowLongA(monitor.hwnd, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0);
  EXPECT_NE(GetWindowLongA(monitor.tabControl, GWL_STYLE) & TCS_BOTTOM, 0);
  EXPECT_EQ(SelectedTab(), 0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_FALSE(IsWindowVisible(monitor.infoPage.hwnd));
  EXPECT_EQ(GetParent(Page()), monitor.tabControl);

  HWND ports = Control(IDC_COM_PORT);
  ASSERT_EQ(SendMessageA(ports, CB_GETCOUNT, 0, 0), 9);
  for (int i = 0; i < 9; ++i) {
    char item[32] = {};
    SendMessageA(ports, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::string(item), "COM" + std::to_string(i + 1) + ":");
  }
  EXPECT_EQ(WindowText(ports), "COM1:");
  std::vector<std::string> rates;
  for (LRESULT i = 0; i < SendMessageA(Control(IDC_BAUD_RATE), CB_GETCOUNT, 0, 0); ++i) {
    char item[32] = {};
    SendMessageA(Control(IDC_BAUD_RATE), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    rates.emplace_back(item);
  }
  EXPECT_EQ(rates, (std::vector<std::string>{"1200", "2400", "4800", "9600", "14400", "38400", "57600", "115200",
                                             "230400", "460800", "921600"}));
  EXPECT_EQ(WindowText(Control(IDC_BAUD_RATE)), "4800");
  EXPECT_EQ(monitor.setupPage.portTable.portCount, 9);

  EXPECT_EQ(WindowText(Control(IDC_START_GPS)), "Start GPS");
  EXPECT_TRUE(Enabled(IDC_START_GPS));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_VTG, IDC_POWER_SAVE, IDC_WAAS}) EXPECT_FALSE(Enabled(id)) << id;
  for (int id : {IDC_VTG, IDC_POWER_SAVE, IDC_WAAS}) EXPECT_FALSE(Checked(id)) << id;

  BITMAP sky = {};
  ASSERT_NE(monitor.infoPage.skyBitmap.get(), nullptr);
  GetObjectA(monitor.infoPage.skyBitmap.get(), sizeof sky, &sky);
  EXPECT_EQ(sky.bmWidth, 155);
  EXPECT_EQ(sky.bmHeight, 155);
}

class MonitorOnCableTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    ASSERT_TRUE(cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
    ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
    SelectPort(kCom3Item);
    SelectBaud(kBaud57600);
  }

  void StartGps() {
    Click(IDC_START_GPS);
    ASSERT_EQ(monitor.setupPage.gpsRunning, 1) << Log();
  }

  rig::Cable cable{3, 13};
  rig::ReceiverEnd receiver;
};

TEST_F(MonitorOnCableTest, StartGpsOpensTheCableAndCloseGpsReversesItKeepingCheckMarks) {
  SetDlgItemTextA(Page(), IDC_LOG, "an earlier error");
  StartGps();
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(WindowText(Control(IDC_START_GPS)), "Close GPS");
  EXPECT_TRUE(Enabled(IDC_START_GPS));
  EXPECT_FALSE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_VTG, IDC_POWER_SAVE, IDC_WAAS}) EXPECT_TRUE(Enabled(id)) << id;

  // A line from the receiver reaches the log through the reader.
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return Log() == test::kGsa; }, 3000)) << Log();

  // The receiver falls silent: within 4 s the information page greys and
  // counts the silence; the next sentence brings it back.
  const desktop::InfoPage& info = monitor.infoPage;
  EXPECT_FALSE(info.age.Grey());
  EXPECT_TRUE(PumpUntil([&] { return info.age.ShownSeconds() >= 3; }, 4200));
  EXPECT_TRUE(info.age.Grey());
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return !info.age.Grey(); }, 3000));
  EXPECT_EQ(info.age.ShownSeconds(), -1);

  Click(IDC_WAAS);
  Pump(50);
  Click(IDC_START_GPS);
  EXPECT_EQ(monitor.setupPage.gpsRunning, 0);
  EXPECT_EQ(WindowText(Control(IDC_START_GPS)), "Start GPS");
  EXPECT_TRUE(Enabled(IDC_SCAN));
  for (int id : {IDC_COLD_START, IDC_VTG, IDC_POWER_SAVE, IDC_WAAS}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Checked(IDC_WAAS));
  EXPECT_TRUE(info.age.Grey()) << "the closed link's data stays, grey, without a count";
  EXPECT_EQ(info.age.ShownSeconds(), -1);
  EXPECT_TRUE(test::WaitForReaders(link::DesktopLink::RunningReaders, 0, 2000));
  // Opening and closing sent the receiver nothing but the one switch.
  EXPECT_EQ(receiver.Read(64, 300), "$PSRF151,01*0F\r\n");
}

TEST_F(MonitorTest, StartGpsOnAPortThatCannotBeOpenedSaysComPortError) {
  SelectPort(kCom4Item);
  Click(IDC_START_GPS);
  EXPECT_EQ(Log(), "ComPort ERROR!!");
  EXPECT_EQ(monitor.setupPage.gpsRunning, 0);
  EXPECT_EQ(WindowText(Control(IDC_START_GPS)), "Start GPS");
  EXPECT_TRUE(Enabled(IDC_START_GPS));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  EXPECT_FALSE(Enabled(IDC_COLD_START));
}

// Each switch posts exactly one message per click, which the main window
// turns into the echo and then the sentence on the wire; the cold start is
// sent and written before the click returns.
// A minute of a real capture mixed with line noise at 57600 baud: every
// sentence that arrives whole is taken, nothing else is, the window keeps
// answering, and memory stays put.
TEST_F(MonitorOnCableTest, AHostileLineGivesEverySentenceThatArrivesWholeAndNothingElse) {
  StartGps();
  test::ExpectAHostileMinuteHeld<false>(monitor.hwnd, receiver, "nd-1005.log",
                                        [](auto done, DWORD ms) { return PumpUntil(done, ms); });
  EXPECT_STRNE(monitor.infoPage.record.utc, "");
}

// The receiver unplugged in mid-sentence: the window keeps answering and the
// monitor does not spin; Close GPS closes cleanly, and once the receiver is
// back Start GPS opens it again and sentences flow. Unplugged again just as
// Start GPS is pressed, it either opens or says "ComPort ERROR!!", answers
// all the while, and starts again once the receiver is back.
TEST_F(MonitorOnCableTest, AReceiverUnpluggedMidStreamLeavesTheMonitorAnsweringAndReopensWhenBack) {
  auto pump = [](auto done, DWORD ms) { return PumpUntil(done, ms); };
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa + test::kGsa + "$GPGSA,A,3,04"));
  ASSERT_TRUE(PumpUntil([&] { return Log() == test::kGsa + test::kGsa; }, 3000)) << Log();
  receiver.Close();
  ASSERT_TRUE(cable.Vanish());
  test::ExpectCalmWhileUnplugged(monitor.hwnd, pump);

  Click(IDC_START_GPS);
  EXPECT_EQ(monitor.setupPage.gpsRunning, 0);
  EXPECT_EQ(WindowText(Control(IDC_START_GPS)), "Start GPS");
  EXPECT_TRUE(PumpUntil([] { return link::DesktopLink::RunningReaders() == 0; }, 2000));

  ASSERT_TRUE(cable.Restore());
  ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return Log() == test::kGsa; }, 3000)) << Log();

  Click(IDC_START_GPS);
  receiver.Close();
  std::thread unplug([&] { cable.Vanish(); });
  Click(IDC_START_GPS);
  unplug.join();
  EXPECT_TRUE(monitor.setupPage.gpsRunning == 1 || Log() == "ComPort ERROR!!") << Log();
  EXPECT_LT(test::WatchAnswers(monitor.hwnd, 2000, pump).slowestMs, 100u);
  if (monitor.setupPage.gpsRunning == 1) Click(IDC_START_GPS);
  ASSERT_TRUE(cable.Restore());
  ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
  StartGps();
  ASSERT_TRUE(receiver.Write(test::kGsa));
  EXPECT_TRUE(PumpUntil([&] { return Log() == test::kGsa; }, 3000)) << Log();
}

TEST_F(MonitorOnCableTest, EachCommandControlLogsItsEchoAndPutsItsSentenceOnTheWire) {
  struct Row {
    int control;
    unsigned message;
    const char* echo;
    const char* wire;
  };
  const Row rows[] = {
      {IDC_VTG, receiver::kMsgVtgOn, "$PSRF\r\n...OK\r\n", "$PSRF103,05,00,01,01*20\r\n"},
      {IDC_VTG, receiver::kMsgVtgOff, "$PSRF\r\n...OK\r\n", "$PSRF103,05,00,00,01*21\r\n"},
      {IDC_POWER_SAVE, receiver::kMsgPowerSaveOn, "$PSRF..\r\n...OK\r\n", "$PSRF150,0,300,1000,1*10\r\n"},
      {IDC_POWER_SAVE, receiver::kMsgPowerSaveOff, "$PSRF..\r\n...OK\r\n", "$PSRF150,0,1000,1000,0*23\r\n"},
      {IDC_WAAS, receiver::kMsgWaasOn, "$PSRF\r\n...OK\r\n", "$PSRF151,01*0F\r\n"},
      {IDC_WAAS, receiver::kMsgWaasOff, "$PSRF\r\n...OK\r\n", "$PSRF151,00*0E\r\n"},
      {IDC_COLD_START, 0, "$PSRF\r\n...OK\r\n", "$PSRF104,0,0,0,96000,237759,1946,12,4*1D\r\n"},
  };
  StartGps();
  for (const Row& row : rows) {
    SetDlgItemTextA(Page(), IDC_LOG, "");
    Click(row.control);
    if (row.message != 0) {
      MSG posted;
      ASSERT_TRUE(PeekMessageA(&posted, monitor.hwnd, 1704, 1709, PM_REMOVE)) << row.control;
      EXPECT_EQ(posted.message, row.message);
      EXPECT_FALSE(PeekMessageA(&posted, monitor.hwnd, 1704, 1709, PM_NOREMOVE)) << "a second message";
      DispatchMessageA(&posted);
    }
    EXPECT_EQ(Log(), row.echo) << row.wire;
    const std::string wire = row.wire;
    EXPECT_EQ(receiver.Read(wire.size() + 1, 500), wire);
  }
}

// One line (CR LF ended) as the reader hands lines over, in a batch of its
// own; answers how many the window accepted.
static LRESULT SendLine(HWND window, const std::string& line) {
  const auto batch = std::make_unique<link::LineBatch<char>>(nullptr, nullptr);
  batch->AddLine(line.c_str(), static_cast<int>(line.size()));
  return SendMessageA(window, receiver::kMsgNmeaBatch, reinterpret_cast<WPARAM>(batch.get()), 0);
}

TEST_F(MonitorTest, TheHundredAndFirstSentenceEmptiesTheLogFirst) {
  const std::string rmc = "$GPRMC,094737,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E,A*1F\r\n";
  for (int i = 0; i < 100; ++i) {
    SendLine(monitor.hwnd, rmc);
  }
  EXPECT_EQ(Log().size(), 100 * rmc.size());
  EXPECT_EQ(SendMessageA(Control(IDC_LOG), EM_GETLINECOUNT, 0, 0), 101);
  EXPECT_EQ(SendLine(monitor.hwnd, test::kGsa), 1);
  EXPECT_EQ(Log(), test::kGsa);
  // The readout took the position, and a damaged line is neither logged nor decoded.
  EXPECT_STREQ(monitor.infoPage.record.utc, "09:47:37");
  std::string damaged = rmc;
  damaged[8] = '5';
  EXPECT_EQ(SendLine(monitor.hwnd, damaged), 0);
  EXPECT_EQ(Log(), test::kGsa);
}

// A soak run asks the running monitor for its paint helpers' census from
// outside; the answer follows the objects those helpers hold.
TEST_F(MonitorTest, TheGdiCensusMessageAnswersTheObjectsThePaintHelpersHold) {
  const long before = handles::GdiCensus::Live();
  EXPECT_EQ(SendMessageA(monitor.hwnd, receiver::kMsgGdiCensus, 0, 0), before);
  {
    handles::OwnedBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    EXPECT_EQ(SendMessageA(monitor.hwnd, receiver::kMsgGdiCensus, 0, 0), before + 1);
  }
  EXPECT_EQ(SendMessageA(monitor.hwnd, receiver::kMsgGdiCensus, 0, 0), before);
}

// Counts a window's paints and when the last one was, through a subclass.
struct PaintCounter {
  explicit PaintCounter(HWND window) : hwnd(window) { SetWindowSubclass(hwnd, Spy, 1, reinterpret_cast<DWORD_PTR>(this)); }
  ~PaintCounter() { RemoveWindowSubclass(hwnd, Spy, 1); }
  static LRESULT CALLBACK Spy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    if (message == WM_PAINT) {
      auto* counter = reinterpret_cast<PaintCounter*>(self);
      ++counter->count;
      counter->lastMs = GetTickCount64();
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  HWND hwnd;
  int count = 0;
  ULONGLONG lastMs = 0;
};

// Ten fixes a second (a replay at full line speed) paint the page a few
// times a second, never dropping the last: the page ends on the newest fix.
// Fixes at about fifty a second, as a replay at line speed sends them: the
// page, which draws each fix of a 10 Hz receiver, paints at most ten times.
TEST_F(MonitorTest, AFastStreamPaintsTheInformationPageAtMostTenTimesASecondEndingOnTheNewestFix) {
  ChooseTab(1);
  PaintCounter paints(monitor.infoPage.hwnd);
  ASSERT_TRUE(PumpUntil([&] { return paints.count > 0; }, 2000)) << "the page shown never painted";
  Pump(300);
  const int before = paints.count;
  ULONGLONG lastSentMs = 0;
  int fixes = 0;
  const ULONGLONG start = GetTickCount64();
  for (int second = 0; GetTickCount64() - start < 1000; second = (second + 1) % 60, ++fixes) {
    char body[96];
    std::snprintf(body, sizeof body, "GPRMC,0947%02d,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E", second);
    const std::string rmc = trelvane::testing::Sentence(body);
    ASSERT_EQ(SendLine(monitor.hwnd, rmc), 1);
    lastSentMs = GetTickCount64();
    Pump(20);
  }
  const int during = paints.count - before;
  EXPECT_GE(during, 4) << "the page held every paint back";
  EXPECT_LE(during, 11) << "the page painted more than ten times a second";
  EXPECT_LT(during, fixes / 2) << "the page painted for every fix of " << fixes;
  EXPECT_TRUE(PumpUntil([&] { return paints.lastMs >= lastSentMs; }, 1000)) << "the newest fix was never painted";
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char item[64] = {};
    if (SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 64) {
      SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    }
    items.push_back(item);
  }
  return items;
}

TEST_F(MonitorTest, TabsSwitchPagesExceptWhileTheWindowIsBeingBuilt) {
  ChooseTab(1);
  EXPECT_EQ(SelectedTab(), 1);
  EXPECT_FALSE(IsWindowVisible(Page()));
  EXPECT_TRUE(IsWindowVisible(monitor.infoPage.hwnd));
  RECT pending;
  EXPECT_TRUE(GetUpdateRect(monitor.infoPage.hwnd, &pending, FALSE)) << "no repaint asked for";
  ChooseTab(2);
  EXPECT_EQ(SelectedTab(), 2);
  EXPECT_FALSE(IsWindowVisible(monitor.infoPage.hwnd));
  EXPECT_TRUE(IsWindowVisible(monitor.accuracyPage.hwnd));
  EXPECT_EQ(WindowText(GetDlgItem(monitor.accuracyPage.hwnd, 1108)), "GST: none");
  // The charts page: its span and four charts, nothing drawn yet.
  ChooseTab(3);
  EXPECT_TRUE(IsWindowVisible(monitor.chartsPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.accuracyPage.hwnd));
  EXPECT_EQ(ComboItems(GetDlgItem(monitor.chartsPage.hwnd, 1301)),
            (std::vector<std::string>{"5 min", "1 hour", "24 hours"}));
  for (int id = 1302; id <= 1305; ++id) EXPECT_NE(GetDlgItem(monitor.chartsPage.hwnd, id), nullptr) << id;
  // The health page, filled as it is shown: no link, no clock line.
  ChooseTab(4);
  EXPECT_TRUE(IsWindowVisible(monitor.healthPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.chartsPage.hwnd));
  EXPECT_EQ(WindowText(GetDlgItem(monitor.healthPage.hwnd, 1401)), "Sentence  Count  Rate/s  Bad  Longest gap  Last");
  EXPECT_EQ(WindowText(GetDlgItem(monitor.healthPage.hwnd, 1402)), "");
  EXPECT_EQ(WindowText(GetDlgItem(monitor.healthPage.hwnd, 1403)), "Time to first fix: none yet");
  EXPECT_EQ(WindowText(GetDlgItem(monitor.healthPage.hwnd, 1404)), "Reset");
  // A refreshed table keeps the user's selection and scroll position.
  const HWND table = GetDlgItem(monitor.healthPage.hwnd, 1401);
  std::string rows = "Sentence";
  for (int i = 0; i < 40; ++i) rows += "\r\nGPX" + std::to_string(10 + i) + "  1";
  monitor.healthPage.Show(rows.c_str(), "", "", 5000);
  // The table is put in again once a second, or at once after a refresh.
  EXPECT_FALSE(monitor.healthPage.TableDue(5999));
  EXPECT_TRUE(monitor.healthPage.TableDue(6000));
  monitor.healthPage.Refresh();
  EXPECT_TRUE(monitor.healthPage.TableDue(5001));
  SendMessageA(table, EM_SETSEL, 30, 45);
  SendMessageA(table, EM_LINESCROLL, 0, 12);
  rows += "\r\nGPZZZ  2";
  monitor.healthPage.Show(rows.c_str(), "", "", 6000);
  DWORD from = 0, to = 0;
  SendMessageA(table, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(std::make_pair(from, to), std::make_pair(DWORD{30}, DWORD{45}));
  EXPECT_EQ(SendMessageA(table, EM_GETFIRSTVISIBLELINE, 0, 0), 12);
  EXPECT_EQ(WindowText(table), rows);
  ChooseTab(0);
  EXPECT_EQ(SelectedTab(), 0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_FALSE(IsWindowVisible(monitor.infoPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.accuracyPage.hwnd));
  EXPECT_FALSE(IsWindowVisible(monitor.healthPage.hwnd));

  desktop::MainWindow::initialising = 1;
  ChooseTab(1);
  EXPECT_EQ(SelectedTab(), 0);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_FALSE(IsWindowVisible(monitor.infoPage.hwnd));
  desktop::MainWindow::initialising = 0;
}

// Finds the About box while its modal loop runs, reads it and closes it by Esc.
struct AboutSeen {
  std::string caption;
  std::string text;
};
AboutSeen* aboutSeen = nullptr;

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND about = FindWindowA("#32770", "Dialog");
  if (about == nullptr || aboutSeen == nullptr) return;
  KillTimer(nullptr, timer);
  aboutSeen->caption = WindowText(about);
  HWND first = GetWindow(about, GW_CHILD);
  aboutSeen->text = first != nullptr ? WindowText(first) : "";
  PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
}

// Ctrl and a key, as the keyboard delivers them to `target`.
void PressCtrl(HWND target, BYTE key) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  PostMessageA(target, WM_KEYDOWN, key, 1);
}

void ReleaseCtrl() {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
}

TEST_F(MonitorTest, CtrlAOpensTheAboutBoxAndCtrlQClosesTheWindow) {
  HACCEL accelerators = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
  ASSERT_NE(accelerators, nullptr);
  AboutSeen seen;
  aboutSeen = &seen;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseAbout);
  PressCtrl(monitor.hwnd, 'A');
  PumpUntil([&] { return !seen.caption.empty(); }, 5000, accelerators);
  KillTimer(nullptr, timer);
  aboutSeen = nullptr;
  EXPECT_EQ(seen.caption, "Dialog");
  EXPECT_EQ(seen.text, "Trelvane Ver 6.08N");
  EXPECT_EQ(FindWindowA("#32770", "Dialog"), nullptr);

  // Ignored while the window is being built.
  desktop::MainWindow::initialising = 1;
  PressCtrl(monitor.hwnd, 'Q');
  Pump(200);
  EXPECT_TRUE(IsWindow(monitor.hwnd));
  desktop::MainWindow::initialising = 0;

  PressCtrl(monitor.hwnd, 'Q');
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(monitor.hwnd); }, 3000, accelerators));
  ReleaseCtrl();
}

TEST_F(MonitorOnCableTest, ClosingTheWindowWithThePortOpenClosesTheLinkAndQuits) {
  StartGps();
  SendMessageA(monitor.hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(monitor.hwnd));
  MSG quit;
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);
  EXPECT_TRUE(test::WaitForReaders(link::DesktopLink::RunningReaders, 0, 2000));
  EXPECT_EQ(monitor.infoPage.skyBitmap.get(), nullptr);
}

TEST_F(MonitorTest, F1StartsTheHelpViewerOfTheCurrentDirectoryWithTheTopic) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "trelvane-help-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(dir.c_str());
  const std::string output = dir + "\\peghelp.txt";
  DeleteFileA(output.c_str());

  SendMessageA(monitor.hwnd, WM_HELP, 0, 0);  // absent viewer: nothing happens
  Pump(200);
  EXPECT_EQ(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);

  ASSERT_TRUE(CopyFileA(TRELVANE_PEGHELP_STANDIN, (dir + "\\peghelp.exe").c_str(), FALSE));
  SendMessageA(monitor.hwnd, WM_HELP, 0, 0);
  std::string written;
  PumpUntil([&] {
    HANDLE in = CreateFileA(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    char buffer[256] = {};
    DWORD got = 0;
    ReadFile(in, buffer, sizeof buffer - 1, &got, nullptr);
    CloseHandle(in);
    written = buffer;
    return !written.empty();
  }, 10000);
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(written, "Arkive.htm#Main_Contents");
  DeleteFileA(output.c_str());
  DeleteFileA((dir + "\\peghelp.exe").c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST_F(MonitorTest, ADeviceArrivalPausesHalfASecondAndArmsTheTimerOnce) {
  ULONGLONG before = GetTickCount64();
  EXPECT_EQ(SendMessageA(monitor.hwnd, WM_DEVICECHANGE, 0x8004 /* removal */, 0), 1);
  EXPECT_EQ(desktop::MainWindow::timerArmed, 0);
  EXPECT_EQ(SendMessageA(monitor.hwnd, WM_DEVICECHANGE, 0x8000 /* arrival */, 0), 1);
  EXPECT_GE(GetTickCount64() - before, 490u);
  EXPECT_EQ(desktop::MainWindow::timerArmed, 1);
  EXPECT_EQ(SendMessageA(monitor.hwnd, WM_DEVICECHANGE, 0x8000, 0), 1);
  EXPECT_EQ(desktop::MainWindow::timerArmed, 1);
  // The timer's tick stops it and clears the mark.
  EXPECT_TRUE(PumpUntil([] { return desktop::MainWindow::timerArmed == 0; }, 4000));
  EXPECT_FALSE(KillTimer(monitor.hwnd, DEVICE_TIMER_ID)) << "the timer still runs";
}

// A dialog object that records what reaches it.
class ProbeDialog final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND bound, UINT message, WPARAM, LPARAM) override {
    if (seen.empty()) hwndAtFirstMessage = hwnd == bound;
    seen.push_back(message);
    return message == WM_INITDIALOG ? 1 : 0;
  }
  std::vector<UINT> seen;
  bool hwndAtFirstMessage = false;
};

TEST(WindowObjectTest, ADialogIsBoundAtInitDialogAndNeverSeesSetFont) {
  ui::SetModuleInstance(GetModuleHandleA(nullptr));
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ProbeDialog page;
  ASSERT_EQ(ui::CreatePage(page, IDD_SETUP, parent), 1);  // a template that names a font
  ASSERT_NE(page.hwnd, nullptr);
  ASSERT_FALSE(page.seen.empty());
  EXPECT_EQ(page.seen.front(), static_cast<UINT>(WM_INITDIALOG));
  EXPECT_TRUE(page.hwndAtFirstMessage);
  EXPECT_EQ(SendMessageA(page.hwnd, WM_SETFONT, 0, 0), 0);
  for (UINT message : page.seen) EXPECT_NE(message, static_cast<UINT>(WM_SETFONT));
  DestroyWindow(parent);
}

}  // namespace

namespace {

bool ShareSaved() {
  DWORD value = 2;
  DWORD size = sizeof value;
  RegGetValueA(HKEY_CURRENT_USER, "Software\\Trelvane", "Share", RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value == 1;
}

}  // namespace

// File > Share Receiver: checked and saved while sharing, the Setup page's
// text following the servers' client count; off again, all of it goes.
TEST_F(MonitorTest, ShareReceiverChecksSavesAndCountsClients) {
  HMENU menu = GetMenu(monitor.hwnd);
  for (bool on : {true, false}) {
    SendMessageA(monitor.hwnd, WM_COMMAND, IDM_SHARE, 0);
    Pump(100);
    EXPECT_EQ((GetMenuState(menu, IDM_SHARE, MF_BYCOMMAND) & MF_CHECKED) != 0, on);
    EXPECT_EQ(ShareSaved(), on);
    EXPECT_EQ(WindowText(Control(IDC_SHARED)), on ? "Shared: 0 clients" : "");
  }
  EXPECT_EQ(GetMenuState(menu, IDM_ALLOW_OTHERS, MF_BYCOMMAND) & MF_CHECKED, 0u) << "on without being asked";
}

// A recording with gaps, played in the real window: each read's fix shows
// when it was recorded, within 50 ms; while it plays the link is grey, the
// strip shows under the tabs and the File menu follows; Stop Playing takes
// it all back.
TEST_F(MonitorTest, APlayedRecordingKeepsItsGapsAndStopPlayingGivesTheLinkBack) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "trelvane-gaps.nmea";
  const std::uint32_t readMs[] = {0, 400, 1200};
  {
    FILE* recording = std::fopen(path.c_str(), "wb");
    FILE* timing = std::fopen((path + ".timing").c_str(), "wb");
    ASSERT_TRUE(recording != nullptr && timing != nullptr);
    std::fwrite(recording::kTimingMagic, 1, sizeof recording::kTimingMagic, timing);
    std::uint32_t offset = 0;
    for (int i = 0; i < 3; ++i) {
      char body[96];
      std::snprintf(body, sizeof body, "GPRMC,09470%d,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E", i);
      const std::string rmc = trelvane::testing::Sentence(body);
      unsigned char record[recording::kTimingRecordBytes];
      recording::EncodeTiming(recording::TimedRead{offset, readMs[i]}, record);
      std::fwrite(record, 1, sizeof record, timing);
      std::fwrite(rmc.data(), 1, rmc.size(), recording);
      offset += static_cast<std::uint32_t>(rmc.size());
    }
    std::fclose(recording);
    std::fclose(timing);
  }
  RECT before = {};
  GetWindowRect(monitor.hwnd, &before);
  HMENU menu = GetMenu(monitor.hwnd);
  auto grey = [&](int id) { return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0; };
  EXPECT_TRUE(grey(IDM_RECORD) && grey(IDM_PAUSE) && grey(IDM_STOP_PLAYING) && !grey(IDM_PLAY_FILE));

  Pump(300);  // the window's first paints are behind it
  const ULONGLONG start = GetTickCount64();
  monitor.PlayFile(path.c_str());
  ULONGLONG shownAt[3] = {};
  for (int i = 0; i < 3; ++i) {
    const std::string utc = "09:47:0" + std::to_string(i);
    ASSERT_TRUE(PumpUntil([&] { return WindowText(monitor.infoPage.hwnd).find(utc) != std::string::npos; }, 3000))
        << "read " << i << " never showed";
    shownAt[i] = GetTickCount64() - start;
  }
  // Each read shows when it was recorded after the first, counted from the
  // start of play (the clock does not drift with a late first paint).
  for (int i = 1; i < 3; ++i) EXPECT_NEAR(static_cast<double>(shownAt[i]), readMs[i], 50.0) << "read " << i;
  RECT playing = {};
  GetWindowRect(monitor.hwnd, &playing);
  EXPECT_EQ(playing.bottom - playing.top, before.bottom - before.top + desktop::kPlayStripHeight);
  EXPECT_FALSE(Enabled(IDC_START_GPS));
  EXPECT_EQ(WindowText(Control(IDC_LINK_STATE)), "Playing");
  EXPECT_TRUE(grey(IDM_RECORD));
  EXPECT_FALSE(grey(IDM_STOP_PLAYING));
  EXPECT_TRUE(PumpUntil([&] { return WindowText(GetDlgItem(monitor.hwnd, IDC_PLAY_TEXT)) ==
                                     "trelvane-gaps.nmea  0:00:01 / 0:00:01  end"; }, 2000))
      << WindowText(GetDlgItem(monitor.hwnd, IDC_PLAY_TEXT));
  EXPECT_TRUE(grey(IDM_PAUSE)) << "Pause does nothing at the end";

  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_STOP_PLAYING, 0);
  RECT after = {};
  GetWindowRect(monitor.hwnd, &after);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  EXPECT_EQ(GetDlgItem(monitor.hwnd, IDC_PLAY_POSITION), nullptr);
  EXPECT_TRUE(Enabled(IDC_START_GPS));
  EXPECT_EQ(WindowText(Control(IDC_LINK_STATE)), "Closed");
  EXPECT_NE(WindowText(monitor.infoPage.hwnd).find("09:47:02"), std::string::npos) << "the page keeps its last data";
  std::remove(path.c_str());
  std::remove((path + ".timing").c_str());
}

// A seek near the end of a 64 MB recording, as the position bar asks it:
// the file is fed again slice by slice, so a message sent from
// another thread throughout is answered within 100 ms (in one go, the window
// would be held for the whole feed), and then the page shows the place.
// Columns of chart `id` (its plot's right part, `columns` wide) that hold
// `color` anywhere.
int ColumnsWith(const ui::ChartsPage<char>& page, int id, std::uint32_t color, int fromRight, int columns) {
  int width = 0, height = 0;
  const std::uint32_t* pixels = page.Pixels(id, width, height);
  if (pixels == nullptr) return -1;
  int found = 0;
  for (int x = width - 1 - fromRight - columns; x < width - 1 - fromRight; ++x) {
    bool any = false;
    for (int y = 0; y < height && !any; ++y) any = (pixels[y * width + x] & 0xFFFFFF) == color;
    found += any ? 1 : 0;
  }
  return found;
}

// A played file's charts come from the file read through beside the play:
// they end at the play position (nothing at the start, all of it at the
// end), and the span chosen squeezes them to the right and is kept.
TEST_F(MonitorTest, APlayedFilesChartsEndAtThePlayPositionInTheSpanChosen) {
  const std::string capture = std::string(TRELVANE_CAPTURE_DIR) + "/multi/ublox-zed-f9p-nmea.log";
  monitor.PlayFile(capture.c_str());
  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_PAUSE, 0);
  ChooseTab(3);
  const std::uint32_t kGps = ui::PixelOf(ui::kSystemColors[0]);
  Pump(300);  // the file's history is read in its first slice
  EXPECT_EQ(ColumnsWith(monitor.chartsPage, ui::kChartCn0, kGps, 0, 400), 0) << "nothing played yet";
  HWND bar = GetDlgItem(monitor.hwnd, IDC_PLAY_POSITION);
  SendMessageA(bar, TBM_SETPOS, TRUE, 1000);
  SendMessageA(monitor.hwnd, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
  // 29 s of 5 min over the plot's 469 columns: the last 45 or so.
  ASSERT_TRUE(PumpUntil([&] { return ColumnsWith(monitor.chartsPage, ui::kChartCn0, kGps, 1, 40) == 40; }, 5000));
  EXPECT_EQ(ColumnsWith(monitor.chartsPage, ui::kChartCn0, kGps, 60, 300), 0);
  EXPECT_GT(ColumnsWith(monitor.chartsPage, ui::kChartSatellites, ui::PixelOf(ui::kUsedColor), 1, 40), 30);
  EXPECT_GT(ColumnsWith(monitor.chartsPage, ui::kChartFix, ui::PixelOf(ui::BandColor(1)), 1, 40), 30);

  // An hour: the same 29 s in the last few columns; the choice is kept.
  HWND span = GetDlgItem(monitor.chartsPage.hwnd, ui::kChartsSpan);
  SendMessageA(span, CB_SETCURSEL, 1, 0);
  SendMessageA(monitor.chartsPage.hwnd, WM_COMMAND, MAKEWPARAM(ui::kChartsSpan, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(span));
  ASSERT_TRUE(PumpUntil([&] { return ColumnsWith(monitor.chartsPage, ui::kChartCn0, kGps, 6, 40) == 0; }, 3000));
  EXPECT_GT(ColumnsWith(monitor.chartsPage, ui::kChartCn0, kGps, 1, 4), 0);
  DWORD seconds = 0, size = sizeof seconds;
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Trelvane", "ChartSpan", RRF_RT_REG_DWORD, nullptr, &seconds,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(seconds, 3600u);
  SendMessageA(span, CB_SETCURSEL, 0, 0);
  SendMessageA(monitor.chartsPage.hwnd, WM_COMMAND, MAKEWPARAM(ui::kChartsSpan, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(span));
  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_STOP_PLAYING, 0);
}

TEST_F(MonitorTest, ASeekAndAnExportInALargeRecordingLeaveTheWindowAnswering) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "trelvane-large.nmea";
  constexpr int kCycles = 32000;  // 10 Hz, 2 KB each
  {
    FILE* recording = std::fopen(path.c_str(), "wb");
    FILE* timing = std::fopen((path + ".timing").c_str(), "wb");
    ASSERT_TRUE(recording != nullptr && timing != nullptr);
    std::fwrite(recording::kTimingMagic, 1, sizeof recording::kTimingMagic, timing);
    std::string gsv;
    for (int k = 1; k <= 15; ++k) {
      gsv += trelvane::testing::Sentence("GPGSV,15," + std::to_string(k) + ",60,0" + std::to_string(k % 10) +
                                         ",45,120,40,11,30,200,35,14,60,300,44,17,10,050,20");
    }
    std::uint32_t offset = 0;
    for (int i = 0; i < kCycles; ++i) {
      char body[96];
      std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E",
                    i / 36000, i / 600 % 60, i / 10 % 60, i % 10);
      const std::string cycle = trelvane::testing::Sentence(body) + gsv;
      unsigned char record[recording::kTimingRecordBytes];
      recording::EncodeTiming(recording::TimedRead{offset, static_cast<std::uint32_t>(i) * 100u}, record);
      std::fwrite(record, 1, sizeof record, timing);
      std::fwrite(cycle.data(), 1, cycle.size(), recording);
      offset += static_cast<std::uint32_t>(cycle.size());
    }
    std::fclose(recording);
    std::fclose(timing);
  }
  monitor.PlayFile(path.c_str());
  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_PAUSE, 0);
  HWND bar = GetDlgItem(monitor.hwnd, IDC_PLAY_POSITION);
  ASSERT_NE(bar, nullptr);
  SendMessageA(bar, TBM_SETPOS, TRUE, 900);
  // Posted, so that the seek starts inside the watched pump.
  PostMessageA(monitor.hwnd, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
  const auto pump = [](auto done, DWORD ms) { return PumpUntil(done, ms); };
  EXPECT_LT(test::WatchAnswers(monitor.hwnd, 1500, pump).slowestMs, 100u);
  // 90 % of the 3,199.9 s: the cycle read at 2,879.9 s.
  EXPECT_TRUE(PumpUntil([&] { return WindowText(monitor.infoPage.hwnd).find("00:47:59") != std::string::npos; }, 20000))
      << WindowText(monitor.infoPage.hwnd);
  // Meanwhile the window reads the file through for its seek points between
  // the timer's other work: it still answers, and seeks from the points
  // land where they ask (10 %: the cycle read at 319.9 s; 95 %: 3,039.9 s).
  EXPECT_LT(test::WatchAnswers(monitor.hwnd, 3000, pump).slowestMs, 100u);
  for (const auto& [permille, shown] : {std::pair{100, "00:05:19"}, {950, "00:50:39"}}) {
    SendMessageA(bar, TBM_SETPOS, TRUE, permille);
    SendMessageA(monitor.hwnd, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
    EXPECT_TRUE(PumpUntil([&] { return WindowText(monitor.infoPage.hwnd).find(shown) != std::string::npos; }, 5000))
        << permille << ": " << WindowText(monitor.infoPage.hwnd);
  }

  // File > Export Track writes the whole file's track where the Save As
  // dialog says (the file's own name offered, as GPX), in slices: the window
  // answers meanwhile, the play strip shows how far it is, and the bytes are
  // those of the track read in one go. Nothing is left beside it.
  const std::wstring wideFolder(folder, folder + std::strlen(folder));
  const std::wstring gpx = wideFolder + L"trelvane-large.gpx";
  const auto exportGreyed = [&] { return (GetMenuState(GetMenu(monitor.hwnd), IDM_EXPORT_TRACK, MF_BYCOMMAND) & MF_GRAYED) != 0; };
  EXPECT_FALSE(exportGreyed());
  test::SaveAsAnswer answer;
  test::AnswerSaveAsWith(answer, [&] { SendMessageA(monitor.hwnd, WM_COMMAND, IDM_EXPORT_TRACK, 0); });
  EXPECT_TRUE(answer.answered);
  EXPECT_EQ(answer.offered.substr(answer.offered.size() - 18), L"trelvane-large.gpx");
  EXPECT_TRUE(monitor.trackExport.Running());
  EXPECT_EQ(WindowText(GetDlgItem(monitor.hwnd, IDC_PLAY_TEXT)), "trelvane-large.nmea  0:50:39 / 0:53:19  paused  Exporting 0 %");
  EXPECT_LT(test::WatchAnswers(monitor.hwnd, 500, pump).slowestMs, 100u);
  ASSERT_TRUE(PumpUntil([&] { return !monitor.trackExport.Running(); }, 60000));
  EXPECT_NE(Log().find("Exported 32000 points to " + std::string(folder) + "trelvane-large.gpx\r\n"), std::string::npos)
      << Log();
  EXPECT_EQ(test::FileBytes(gpx), test::TrackInOneGo(std::wstring(path.begin(), path.end()), monitor::TrackFormat::kGpx,
                                                     "trelvane-large.nmea"));
  EXPECT_FALSE(test::FileExists(gpx + L".part"));

  // Cancelled in the dialog, or failing to write, leaves no file.
  test::SaveAsAnswer cancelled;
  cancelled.name = wideFolder + L"cancelled.kml";
  cancelled.save = false;
  test::AnswerSaveAsWith(cancelled, [&] { SendMessageA(monitor.hwnd, WM_COMMAND, IDM_EXPORT_TRACK, 0); });
  EXPECT_TRUE(cancelled.answered);
  EXPECT_FALSE(monitor.trackExport.Running());
  EXPECT_FALSE(test::FileExists(wideFolder + L"cancelled.kml"));
  char note[ui::TrackExportRun<char>::kNoteChars];
  const std::string nowhere = std::string(folder) + "no-such-folder\\track.csv";
  monitor.trackExport.StartTo(monitor.hwnd, EXPORT_TIMER_ID, path.c_str(), nowhere.c_str(), monitor::TrackFormat::kCsv,
                              note);
  EXPECT_EQ(std::string(note), "Cannot export: cannot write " + nowhere + " (error 3)\r\n");
  EXPECT_FALSE(monitor.trackExport.Running());

  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_STOP_PLAYING, 0);
  EXPECT_TRUE(exportGreyed());
  DeleteFileW(gpx.c_str());
  std::remove(path.c_str());
  std::remove((path + ".timing").c_str());
}
