// The port scan on the virtual-cable rig: the time of a whole scan over four
// ports (silent COM1, another device on COM2, a receiver on COM3, COM4 with
// no cable), and how long the dialog takes to close when OK is pressed at a
// random point of the first probe (the silent port's, the longest), with
// whether the scan thread had ended by then. Run by scripts/link-bench scan.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "desktop/main_window.hpp"
#include "desktop/resource.h"
#include "desktop/scan_ports_dialog.hpp"
#include "tests/win/desktop/scan_user.hpp"

namespace {

using namespace trelvane;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int scans = argc > 1 ? std::atoi(argv[1]) : 3;
  const int closes = argc > 2 ? std::atoi(argv[2]) : 20;
  ui::SetModuleInstance(GetModuleHandleA(nullptr));
  desktop::MainWindow::initialising = 0;
  static desktop::MainWindow monitor;
  if (monitor.Create(SW_SHOW) != 1) return 1;
  HWND page = monitor.setupPage.hwnd;
  const DWORD monitorThread = GetCurrentThreadId();

  rig::Cable com1{1, 11}, com2{2, 12}, com3{3, 13};
  if (!com1.IsUp() || !com2.IsUp() || !com3.IsUp()) {
    std::fprintf(stderr, "no rig server\n");
    return 1;
  }
  test::Talker other(com2.ReceiverPort(), "ATZ\r\nOK\r\n");
  test::Talker receiver(com3.ReceiverPort(),
                        "$GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A*43\r\n");
  test::SerialCommList restore;
  test::SerialCommList::Set({"COM1", "COM2", "COM3", "COM4"});

  std::vector<double> scanSeconds;
  for (int i = 0; i < scans; ++i) {
    double seconds = 0;
    std::thread user([&] {
      test::ScanUser scan(monitorThread);
      if (!scan.WaitForDialog(5000)) return;
      const ULONGLONG start = GetTickCount64();
      scan.WaitForStatus("Complete Scan.", 60000);
      seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
      scan.PressOk();
    });
    SendMessageA(GetDlgItem(page, IDC_SCAN), BM_CLICK, 0, 0);
    user.join();
    scanSeconds.push_back(seconds);
    std::printf("scan %d: %.2f s\n", i + 1, seconds);
  }

  std::srand(7);
  std::vector<double> closeMs;
  int overBound = 0, threadStillRunning = 0;
  for (int i = 0; i < closes; ++i) {
    const DWORD pressAt = static_cast<DWORD>(std::rand() % 4400);
    double ms = 0;
    bool running = false;
    auto dialog = std::make_shared<desktop::ScanPortsDialog>(page, monitor.setupPage.portTable);
    std::thread user([&] {
      test::ScanUser scan(monitorThread);
      if (!scan.WaitForDialog(5000) || !scan.WaitForStatus("4800 scanning COM1:", 5000)) return;
      Sleep(pressAt);
      LARGE_INTEGER frequency, pressed, ended;
      QueryPerformanceFrequency(&frequency);
      QueryPerformanceCounter(&pressed);
      scan.PressOk();
      test::ScanUser::WaitFor([&] { return dialog->Ended(); }, 10000);
      QueryPerformanceCounter(&ended);
      ms = 1000.0 * static_cast<double>(ended.QuadPart - pressed.QuadPart) / static_cast<double>(frequency.QuadPart);
      // The thread's last steps after signalling the close take a moment.
      running = !test::ScanUser::WaitFor([] { return desktop::ScanPortsDialog::RunningScans() == 0; }, 50);
    });
    ui::RunModal(*dialog, IDD_SCAN, page);
    user.join();
    while (desktop::ScanPortsDialog::RunningScans() != 0) Sleep(10);
    closeMs.push_back(ms);
    overBound += ms >= 4000;
    threadStillRunning += running;
    std::printf("close %2d: OK at %4lu ms into the probe, closed after %7.1f ms%s\n", i + 1, pressAt, ms,
                running ? " (scan thread still probing)" : "");
  }
  std::printf("whole scan of 4 ports: median %.2f s over %d\n", Median(scanSeconds), scans);
  std::printf(
      "close with OK mid-probe: median %.1f ms, max %.1f ms over %d; %d at or over 4000 ms; "
      "%d with the scan thread still probing 50 ms later\n",
      Median(closeMs), closeMs.empty() ? 0 : *std::max_element(closeMs.begin(), closeMs.end()), closes, overBound,
      threadStillRunning);
  DestroyWindow(monitor.hwnd);
  return 0;
}
