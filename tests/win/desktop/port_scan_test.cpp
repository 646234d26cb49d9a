// The port scan in process under Wine: the Setup page's "Scan Com Port" runs
// the Scan Ports dialog over the ports the registry lists, with virtual
// cables behind COM1 (receiver end COM11) and COM3 (COM13), COM4 registered
// without a cable, and a user pressing OK from another thread.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "receiver/link_settings.hpp"
#include "desktop/scan_ports_dialog.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/win/desktop/monitor_fixture.hpp"
#include "tests/win/desktop/scan_user.hpp"
#include "tests/win/link/serial_test_support.hpp"
#include "tools/sim/capture_player.hpp"

namespace {

using namespace trelvane;
using test::ScanUser;
using test::WindowText;

const std::string kRmc = "$GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A*43\r\n";
const std::string kModem = "ATZ\r\nOK\r\nRING\r\n";
constexpr char kArrow[] = "        ------>  ";
constexpr int kBaud9600 = 3;
constexpr int kBaud4800 = 2;

enum Device { Silent, Receiver, OtherDevice };

class PortScanTest : public test::MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    ASSERT_TRUE(com1.IsUp() && com3.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  }
  void TearDown() override {
    talkers.clear();
    MonitorTest::TearDown();
  }

  void Attach(const rig::Cable& cable, Device device, DWORD baud = 4800) {
    if (device == Silent) return;
    talkers.push_back(std::make_unique<test::Talker>(cable.ReceiverPort(), device == Receiver ? kRmc : kModem, baud));
    ASSERT_TRUE(talkers.back()->IsTalking());
  }

  // Presses "Scan Com Port" and lets `user` work the dialog; returns once
  // the dialog has closed and the Setup page has refilled its list.
  template <class Act>
  void Scan(Act act) {
    std::thread user([&] {
      ScanUser scan(monitorThread);
      if (scan.WaitForDialog(5000)) act(scan);
    });
    Click(IDC_SCAN);
    user.join();
  }
  // A scan left to complete; returns the dialog's lines at the end.
  std::vector<std::string> ScanToTheEnd() {
    std::vector<std::string> lines;
    Scan([&](ScanUser& scan) {
      // With no port listed no scan thread starts, and "Scan..." stays.
      const bool complete = scan.Lines().empty() || scan.WaitForStatus("Complete Scan.", 30000);
      lines = scan.Lines();
      if (!complete) lines.push_back("(not complete: " + scan.Status() + ")");
      scan.PressOk();
    });
    return lines;
  }

  // Runs the dialog itself rather than through the Setup page's button, so
  // that the user can watch the dialog object end; the Setup page then
  // refills its list as after the button.
  template <class Act>
  void RunDialog(DWORD closeWaitMs, Act act) {
    auto dialog = std::make_shared<desktop::ScanPortsDialog>(Page(), monitor.setupPage.portTable);
    dialog->closeWaitMs = closeWaitMs;
    std::thread user([&] {
      ScanUser scan(monitorThread);
      if (scan.WaitForDialog(5000)) act(scan, *dialog);
    });
    ui::RunModal(*dialog, IDD_SCAN, Page());
    user.join();
    monitor.setupPage.RefillPortList();
  }

  std::vector<std::string> PortItems() const {
    std::vector<std::string> items;
    HWND ports = Control(IDC_COM_PORT);
    for (LRESULT i = 0; i < SendMessageA(ports, CB_GETCOUNT, 0, 0); ++i) {
      char item[256] = {};
      SendMessageA(ports, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
      items.emplace_back(item);
    }
    return items;
  }
  int SelectedPort() const { return static_cast<int>(SendMessageA(Control(IDC_COM_PORT), CB_GETCURSEL, 0, 0)); }

  const DWORD monitorThread = GetCurrentThreadId();
  test::SerialCommList serialComm;
  rig::Cable com1{1, 11};
  rig::Cable com3{3, 13};
  std::vector<std::unique_ptr<test::Talker>> talkers;
};

bool SameTable(const link::PortTable& a, const link::PortTable& b) {
  if (a.portCount != b.portCount) return false;
  for (int i = 0; i < link::kPortEntries; ++i) {
    const link::PortEntry &x = a.entries[i], &y = b.entries[i];
    if (std::strcmp(x.name, y.name) != 0 || std::strcmp(x.status, y.status) != 0 || x.listPosition != y.listPosition)
      return false;
  }
  return true;
}

std::string Probed(const std::string& name, const std::string& status) { return name + kArrow + status; }

TEST_F(PortScanTest, MarksEachListedPortAndSelectsTheFirstReceiverTheRegistryListed) {
  const std::string longName = "COM" + std::string(97, 'x');  // 100 characters
  const std::string cutName = longName.substr(0, 62) + ":";
  struct Row {
    const char* what;
    std::vector<std::string> registry;  // in enumeration order
    Device onCom1, onCom3;
    std::vector<std::string> lines;  // the dialog's, sorted
    std::vector<std::string> items;  // the Setup page's, in registry order
    int selected;
  } rows[] = {
      {"silent, receiver, a parallel port, no cable",
       {"COM1", "COM3", "LPT1", "COM4"},
       Silent,
       Receiver,
       {Probed("COM1:", "NO DEVICE"), Probed("COM3:", "GPS Receiver"), Probed("COM4:", "NO DEVICE")},
       {"COM1:  NO DEVICE", "COM3:  GPS Receiver", "COM4:  NO DEVICE"},
       1},
      {"two receivers: the registry's first wins over the sorted order",
       {"COM3", "COM1"},
       Receiver,
       Receiver,
       {Probed("COM1:", "GPS Receiver"), Probed("COM3:", "GPS Receiver")},
       {"COM1:  GPS Receiver", "COM3:  GPS Receiver"},
       1},
      {"another device talking",
       {"COM1"},
       OtherDevice,
       Silent,
       {Probed("COM1:", "NO GPS Receiver")},
       {"COM1:  NO GPS Receiver"},
       0},
      {"a name longer than an entry holds is cut, and still probed",
       {longName},
       Silent,
       Silent,
       {Probed(cutName, "NO DEVICE")},
       {cutName + "  NO DEVICE"},
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    talkers.clear();
    Attach(com1, row.onCom1);
    Attach(com3, row.onCom3);
    ASSERT_TRUE(test::SerialCommList::Set(row.registry));
    EXPECT_EQ(ScanToTheEnd(), row.lines);
    EXPECT_EQ(PortItems(), row.items);
    EXPECT_EQ(SelectedPort(), row.selected);
    EXPECT_EQ(monitor.setupPage.portTable.portCount, static_cast<int>(row.items.size()));
    EXPECT_TRUE(Enabled(IDC_SCAN));
    EXPECT_TRUE(Enabled(IDC_START_GPS));
  }
}

TEST_F(PortScanTest, EveryProbeListensAtTheRateSelectedOnTheSetupPage) {
  test::SerialRequestLog requests;
  ASSERT_TRUE(requests.Available());
  Attach(com3, Receiver, 9600);
  ASSERT_TRUE(test::SerialCommList::Set({"COM1", "COM3"}));
  SelectBaud(kBaud9600);
  requests.Clear();
  std::string status;
  Scan([&](ScanUser& scan) {
    scan.WaitForStatus("9600 scanning COM1:", 5000);
    status = scan.Status();
    scan.WaitForStatus("Complete Scan.", 30000);
    scan.PressOk();
  });
  EXPECT_EQ(status, "9600 scanning COM1:");
  // Each opened port had its break and was set to the selected rate, and to
  // no other.
  std::istringstream log(requests.Text());
  int breaks = 0, settings = 0;
  for (std::string request; std::getline(log, request);) {
    if (request == "break on") ++breaks;
    if (request.rfind("settings ", 0) != 0) continue;
    ++settings;
    EXPECT_EQ(request, "settings 9600");
  }
  EXPECT_EQ(breaks, 2);
  EXPECT_GE(settings, 2);
  EXPECT_EQ(PortItems(), (std::vector<std::string>{"COM1:  NO DEVICE", "COM3:  GPS Receiver"}));
}

// The receiver unplugged while the scan probes its port: the scan goes on to
// the next port and completes, the port gets one of the three results, and
// with the receiver back Start GPS opens that port and its sentences arrive.
TEST_F(PortScanTest, AReceiverUnpluggedWhileItsPortIsProbedEndsTheScanNormally) {
  Attach(com1, Receiver);
  ASSERT_TRUE(test::SerialCommList::Set({"COM1", "COM3"}));
  std::vector<std::string> lines;
  Scan([&](ScanUser& scan) {
    const bool probing = scan.WaitForStatus("4800 scanning COM1:", 5000);
    Sleep(600);  // inside the probe's first second of listening
    talkers.clear();
    const bool vanished = com1.Vanish();
    const bool complete = scan.WaitForStatus("Complete Scan.", 30000);
    lines = scan.Lines();
    if (!probing || !vanished || !complete) lines.push_back("(" + scan.Status() + ")");
    scan.PressOk();
  });
  ASSERT_EQ(lines.size(), 2u) << lines.back();
  EXPECT_TRUE(lines[0] == Probed("COM1:", "NO DEVICE") || lines[0] == Probed("COM1:", "NO GPS Receiver") ||
              lines[0] == Probed("COM1:", "GPS Receiver"))
      << lines[0];
  EXPECT_EQ(lines[1], Probed("COM3:", "NO DEVICE"));
  EXPECT_TRUE(Enabled(IDC_START_GPS));

  ASSERT_TRUE(com1.Restore());
  Attach(com1, Receiver);
  SelectPort(0);
  Click(IDC_START_GPS);
  ASSERT_EQ(monitor.setupPage.gpsRunning, 1) << Log();
  EXPECT_TRUE(test::PumpUntil([&] { return Log().find("$GPRMC") != std::string::npos; }, 5000)) << Log();
  Click(IDC_START_GPS);
}

TEST_F(PortScanTest, WithoutListedPortsTheListSaysSoAndStartGpsFails) {
  struct Row {
    const char* what;
    bool keyPresent;
    std::vector<std::string> registry;
  } rows[] = {{"no key", false, {}}, {"no COM values", true, {"LPT1", "\\Device\\Parallel0"}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(test::SerialCommList::Set(row.registry, row.keyPresent));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ScanToTheEnd(), std::vector<std::string>{});
    // No scan thread ran, so closing has nothing to wait for.
    EXPECT_LT(GetTickCount64() - start, 4000u);
    EXPECT_EQ(monitor.setupPage.portTable.portCount, 0);
    EXPECT_EQ(PortItems(), std::vector<std::string>{});
    EXPECT_EQ(WindowText(Control(IDC_COM_PORT)), "No Com Port Find!!");
    Click(IDC_START_GPS);
    EXPECT_EQ(Log(), "ComPort ERROR!!");
    EXPECT_EQ(monitor.setupPage.gpsRunning, 0);
  }
}

// OK (or the close box) pressed while COM1 (silent) is probed, at points
// inside the probe: the user sees "Break Scan.", the dialog closes within its
// bound, the probe in progress ends with its own result or "NO GPS
// Receiver", and the ports not reached keep an empty status, also the
// receiver a first scan found.
TEST_F(PortScanTest, OkDuringTheFirstProbeStopsTheScanWithinTheBound) {
  Attach(com3, Receiver);
  ASSERT_TRUE(test::SerialCommList::Set({"COM1", "COM3", "COM4"}));
  ScanToTheEnd();
  ASSERT_EQ(PortItems()[1], "COM3:  GPS Receiver");

  struct Row {
    DWORD pressAfterMs;  // after the probe of COM1 began
    bool closeBox;       // rather than OK
    const char* com1;
  } rows[] = {{0, false, "NO GPS Receiver"}, {600, true, "NO GPS Receiver"}, {1800, false, "NO DEVICE"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pressAfterMs);
    bool sawBreak = false, threadEnded = false;
    ULONGLONG closeMs = 0;
    RunDialog(4000, [&](ScanUser& scan, desktop::ScanPortsDialog& dialog) {
      if (!scan.WaitForStatus("4800 scanning COM1:", 5000)) return;
      Sleep(row.pressAfterMs);
      const ULONGLONG pressed = GetTickCount64();
      row.closeBox ? scan.PressCloseBox() : scan.PressOk();
      sawBreak = ScanUser::WaitFor([&] { return scan.Status() == "Break Scan."; }, 1000);
      ScanUser::WaitFor([&] { return dialog.Ended(); }, 10000);
      closeMs = GetTickCount64() - pressed;
      threadEnded = test::WaitForReaders(desktop::ScanPortsDialog::RunningScans, 0, 500);
    });
    EXPECT_TRUE(sawBreak);
    EXPECT_LT(closeMs, 4000u);
    EXPECT_TRUE(threadEnded);
    EXPECT_EQ(PortItems(), (std::vector<std::string>{std::string("COM1:  ") + row.com1, "COM3:  ", "COM4:  "}));
    EXPECT_EQ(SelectedPort(), 0);
  }
}

// The dialog ends before its scan thread does (a close that does not wait at
// all), and under a stop pressed while the thread moves quickly from line to
// line (ports that cannot be opened): after the dialog has ended the port
// table never changes again, and what it holds is a consistent prefix of the
// list.
TEST_F(PortScanTest, AfterTheDialogHasEndedTheScanThreadStoresNothing) {
  std::vector<std::string> unopenable = {"COM4"};
  for (int n = 30; n < 49; ++n) unopenable.push_back("COM" + std::to_string(n));
  struct Row {
    std::vector<std::string> registry;
    DWORD closeWaitMs;
    DWORD pressAfterMs;
    bool threadOutlivesDialog;
  } rows[] = {
      {{"COM1"}, 0, 0, true},         {{"COM1"}, 0, 900, true},        {{"COM1"}, 0, 1200, true},
      {unopenable, 4000, 0, false},   {unopenable, 4000, 170, false},  {unopenable, 4000, 530, false},
      {unopenable, 4000, 890, false}, {unopenable, 4000, 1570, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.registry.size() << " ports, pressed at " << row.pressAfterMs);
    ASSERT_TRUE(test::SerialCommList::Set(row.registry));
    link::PortTable& table = monitor.setupPage.portTable;
    int stillRunning = -1;
    link::PortTable atEnd;
    RunDialog(row.closeWaitMs, [&](ScanUser& scan, desktop::ScanPortsDialog& dialog) {
      if (!scan.WaitForStatus("4800 scanning", 5000)) return;
      Sleep(row.pressAfterMs);
      scan.PressOk();
      ScanUser::WaitFor([&] { return dialog.Ended(); }, 10000);
      stillRunning = desktop::ScanPortsDialog::RunningScans();
      atEnd = table;  // nothing writes it any more
    });
    ASSERT_TRUE(test::WaitForReaders(desktop::ScanPortsDialog::RunningScans, 0, 6000));
    if (row.threadOutlivesDialog) {
      EXPECT_EQ(stillRunning, 1);
    }
    ASSERT_TRUE(SameTable(atEnd, table)) << "the scan thread wrote after the dialog ended";

    // The lines probed are lines 0 to k-1 of the sorted list, and only they.
    std::vector<bool> probedLine(table.portCount, false);
    int probed = 0;
    for (int i = 0; i < table.portCount; ++i) {
      if (table.entries[i].status[0] == '\0') continue;
      ++probed;
      EXPECT_STREQ(table.entries[i].status, "NO DEVICE");
      ASSERT_GE(table.entries[i].listPosition, 0);
      ASSERT_LT(table.entries[i].listPosition, table.portCount);
      probedLine[table.entries[i].listPosition] = true;
    }
    for (int line = 0; line < table.portCount; ++line) EXPECT_EQ(probedLine[line], line < probed) << line;
    if (row.threadOutlivesDialog) {
      EXPECT_EQ(probed, 0);
    }
  }
}

// One port (COM3 behind a wire, or COM4 without a cable) scanned with 4800
// shown: the result, every rate the status line named, the rate list after
// OK; a stop mid-hunt ends the dialog within the bound of a stop mid-probe.
// The wire garbles what the device sends while the rates differ.
TEST_F(PortScanTest, HuntsTheRateOfAPortThatTalksWithoutSentences) {
  // A fix cycle of a u-blox M9N as the simulated receiver plays it (its
  // talkers are GN, GP, GL, GA and GB), one of a SiRF with the simulator's
  // noise between the lines, and two real sentences of GN and GB talkers only.
  sim::Capture m9nCapture, noisyCapture;
  m9nCapture.Load(trelvane::testing::ReadCapture("multi/ublox-neo-m9n-nmea.log"));
  noisyCapture.Load(trelvane::testing::ReadCapture("nd-1005.log"), sim::NoiseSettings{0.5, 7});
  ASSERT_GT(m9nCapture.CycleCount(), 2u);
  ASSERT_GT(noisyCapture.NoiseItems(), 0u);
  const std::string m9n(m9nCapture.Cycle(1));
  const std::string noisy(noisyCapture.Cycle(1));
  const std::string beidou = "$GNGSA,A,1,,,,,,,,,,,,,,,*00\r\n$GBGSV,2,2,05,209,07,033,*62\r\n";
  const std::vector<std::string> allHunted = {"4800 scanning COM3:", "9600 scanning COM3:", "38400 scanning COM3:",
                                              "115200 scanning COM3:", "57600 scanning COM3:",
                                              "230400 scanning COM3:", "460800 scanning COM3:",
                                              "921600 scanning COM3:", "14400 scanning COM3:",
                                              "2400 scanning COM3:", "1200 scanning COM3:"};
  struct Row {
    const char* what;
    const char* port;
    std::string talk;  // empty: a silent device
    DWORD talkBaud;
    DWORD periodMs;  // between the device's writes
    const char* stopAt;  // the status at which OK is pressed; nullptr: the scan completes
    std::string status;
    std::vector<std::string> named;  // the status line's rates, in order
    const char* rateAfter;
  } rows[] = {
      {"a receiver at the rate shown", "COM3", kRmc, 4800, 50, nullptr, "GPS Receiver", {"4800 scanning COM3:"}, "4800"},
      {"a receiver at 38400", "COM3", m9n, 38400, 1000, nullptr, "GPS Receiver at 38400",
       {"4800 scanning COM3:", "9600 scanning COM3:", "38400 scanning COM3:"}, "38400"},
      {"a receiver at 115200", "COM3", m9n, 115200, 1000, nullptr, "GPS Receiver at 115200",
       {"4800 scanning COM3:", "9600 scanning COM3:", "38400 scanning COM3:", "115200 scanning COM3:"}, "115200"},
      {"only GN and GB talkers", "COM3", beidou, 4800, 50, nullptr, "GPS Receiver", {"4800 scanning COM3:"}, "4800"},
      {"a noisy line", "COM3", noisy, 4800, 1000, nullptr, "GPS Receiver", {"4800 scanning COM3:"}, "4800"},
      {"another device: every rate, then none", "COM3", kModem, 4800, 50, nullptr, "NO GPS Receiver", allHunted, "4800"},
      {"a silent device is not hunted", "COM3", "", 4800, 50, nullptr, "NO DEVICE", {"4800 scanning COM3:"}, "4800"},
      {"no device", "COM4", "", 4800, 50, nullptr, "NO DEVICE", {"4800 scanning COM4:"}, "4800"},
      {"a stop mid-hunt", "COM3", kModem, 4800, 50, "38400 scanning COM3:", "NO GPS Receiver",
       {"4800 scanning COM3:", "9600 scanning COM3:", "38400 scanning COM3:"}, "4800"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    talkers.clear();
    if (!row.talk.empty()) {
      talkers.push_back(std::make_unique<test::Talker>(com3.ReceiverPort(), row.talk, row.talkBaud, row.periodMs));
      ASSERT_TRUE(talkers.back()->IsTalking());
    }
    ASSERT_TRUE(test::SerialCommList::Set({row.port}));
    SelectBaud(kBaud4800);
    std::vector<std::string> named, lines;
    ULONGLONG stopMs = 0;
    Scan([&](ScanUser& scan) {
      const ULONGLONG deadline = GetTickCount64() + 30000;
      ULONGLONG pressed = 0;
      while (GetTickCount64() < deadline && !scan.DialogGone()) {
        const std::string status = scan.Status();
        if (status == "Complete Scan.") break;
        const bool scanning = status.find(" scanning ") != std::string::npos;
        if (scanning && (named.empty() || named.back() != status)) named.push_back(status);
        if (row.stopAt != nullptr && status == row.stopAt && pressed == 0) {
          pressed = GetTickCount64();
          lines = scan.Lines();
          scan.PressOk();
        }
        Sleep(5);
      }
      stopMs = pressed != 0 ? GetTickCount64() - pressed : 0;
      if (pressed == 0) {
        lines = scan.Lines();
        scan.PressOk();
      }
    });
    EXPECT_EQ(named, row.named);
    if (row.stopAt == nullptr) {
      EXPECT_EQ(lines, std::vector<std::string>{Probed(std::string(row.port) + ":", row.status)});
    } else {
      EXPECT_LT(stopMs, 1500u);  // a stop mid-probe: the second's wait and a read
    }
    EXPECT_EQ(PortItems(), std::vector<std::string>{std::string(row.port) + ":  " + row.status});
    EXPECT_EQ(WindowText(Control(IDC_BAUD_RATE)), row.rateAfter);
  }
  // Start GPS at the rate found fills the log.
  talkers.clear();
  talkers.push_back(std::make_unique<test::Talker>(com3.ReceiverPort(), m9n, 38400, 1000));
  ASSERT_TRUE(test::SerialCommList::Set({"COM3"}));
  SelectBaud(kBaud4800);
  ScanToTheEnd();
  ASSERT_EQ(WindowText(Control(IDC_BAUD_RATE)), "38400");
  Click(IDC_START_GPS);
  ASSERT_EQ(monitor.setupPage.gpsRunning, 1) << Log();
  EXPECT_TRUE(test::PumpUntil([&] { return Log().find("$GNGGA") != std::string::npos; }, 5000)) << Log();
  Click(IDC_START_GPS);
}

}  // namespace
