// The desktop monitor's real windows in the test's own process, built from
// the real resources, with the program's own message loop turn.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "desktop/main_window.hpp"
#include "desktop/resource.h"
#include "tests/win/ui/message_pump.hpp"

namespace trelvane::test {

// Runs the monitor's message loop turn until `done()` or `timeoutMs` passed.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs, HACCEL accelerators = nullptr) {
  return PumpMessagesUntil<false>(done, timeoutMs,
                                  [&](MSG& msg) { desktop::DispatchWithAccelerators(msg, accelerators); });
}

inline void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

inline std::string WindowText(HWND hwnd) {
  char buffer[16384] = {};
  GetWindowTextA(hwnd, buffer, sizeof buffer);
  return buffer;
}

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetModuleInstance(GetModuleHandleA(nullptr));
    desktop::MainWindow::initialising = 0;
    ASSERT_EQ(monitor.Create(SW_SHOW), 1);
    Pump(50);
  }

  void TearDown() override {
    if (IsWindow(monitor.hwnd)) DestroyWindow(monitor.hwnd);
    Pump(50);
  }

  HWND Page() const { return monitor.setupPage.hwnd; }
  HWND Control(int id) const { return GetDlgItem(Page(), id); }
  // The pane as it shows once its pending batch is in (its flush timer's work).
  std::string Log() {
    monitor.setupPage.log.Flush();
    return WindowText(Control(IDC_LOG));
  }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != 0; }
  bool Checked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SelectPort(int index) { SendMessageA(Control(IDC_COM_PORT), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  void SelectBaud(int index) { SendMessageA(Control(IDC_BAUD_RATE), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  // A user's click on a page button: handled before it returns.
  void Click(int id) { SendMessageA(Control(id), BM_CLICK, 0, 0); }
  int SelectedTab() const { return static_cast<int>(SendMessageA(monitor.tabControl, TCM_GETCURSEL, 0, 0)); }
  // The user clicks a tab; the tab control itself notifies the main window.
  void ChooseTab(int index) {
    RECT item = {};
    SendMessageA(monitor.tabControl, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(monitor.tabControl, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(monitor.tabControl, WM_LBUTTONUP, 0, at);
  }

  desktop::MainWindow monitor;
};

}  // namespace trelvane::test
