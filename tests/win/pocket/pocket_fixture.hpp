// The handheld monitor's real windows in the test's own process, built from
// the real resources, and the handheld's registry in the test prefix: the
// active drivers under HKEY_LOCAL_MACHINE "Drivers\Active" and the saved
// port under HKEY_CURRENT_USER "Software\Trelvane". Every key a test makes
// there is removed again when it ends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pocket/main_window.hpp"
#include "pocket/resource.h"
#include "tests/win/ui/message_pump.hpp"

namespace trelvane::test {

// Runs the monitor's message loop turn until `done()` or `timeoutMs` passed.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  return PumpMessagesUntil<true>(done, timeoutMs, [](MSG& msg) { pocket::DispatchWithAccelerators(msg, nullptr); });
}

inline void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

inline std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[16384] = {};
  GetWindowTextW(hwnd, buffer, 16384);
  return buffer;
}

inline std::wstring Narrow2Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// One value of a driver key: REG_SZ text.
struct DriverValue {
  const wchar_t* name;
  std::wstring text;
};

// The handheld's table of active drivers in the prefix's registry. The key
// tree is removed at construction and at destruction.
class ActiveDrivers {
 public:
  ActiveDrivers() { Clear(); }
  ActiveDrivers(const ActiveDrivers&) = delete;
  ActiveDrivers& operator=(const ActiveDrivers&) = delete;
  ~ActiveDrivers() { Clear(); }

  // Adds "Drivers\Active\<number>" with the given values.
  static bool Add(const std::wstring& number, const std::vector<DriverValue>& values) {
    HKEY key = nullptr;
    const std::wstring path = L"Drivers\\Active\\" + number;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    bool ok = true;
    for (const DriverValue& value : values) {
      ok = ok && RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
  }

  // A serial port's driver: its Name and the Key of its registration.
  static bool AddPort(const std::wstring& number, const std::wstring& name, const std::wstring& registration) {
    return Add(number, {{L"Name", name}, {L"Key", registration}});
  }

  static void Clear() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers"); }
};

// The saved port: removed at construction and destruction.
class SavedPortKey {
 public:
  SavedPortKey() { Remove(); }
  SavedPortKey(const SavedPortKey&) = delete;
  SavedPortKey& operator=(const SavedPortKey&) = delete;
  ~SavedPortKey() { Remove(); }

  static void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelvane"); }

  static bool Set(const std::wstring& port) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const LONG result = RegSetValueExW(key, L"ComPort", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                                       static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
  }

  // The stored value with its type and size in bytes; "" when absent.
  static std::wstring Get(DWORD* type, DWORD* bytes) {
    HKEY key = nullptr;
    *type = 0;
    *bytes = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return L"";
    wchar_t value[300] = {};
    *bytes = sizeof(value) - sizeof(wchar_t);
    const LONG result = RegQueryValueExW(key, L"ComPort", nullptr, type, reinterpret_cast<BYTE*>(value), bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? value : L"";
  }
};

// The items of a combo box in list order, and its selected index.
inline std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[512] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 512) {
      SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    }
    items.push_back(item);
  }
  return items;
}

inline int Selection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

// The monitor started as the program entry starts it, on the test program's
// own copy of the handheld resources.
class PocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pocket::MainWindow::initialising = 0;
    PrepareRegistry();
    ASSERT_EQ(monitor.InitInstance(GetModuleHandleW(nullptr), SW_SHOW), 1);
    Pump(50);
  }

  void TearDown() override {
    if (IsWindow(monitor.hwnd)) DestroyWindow(monitor.hwnd);
    Pump(50);
  }

  // What the registry holds when the monitor starts; none by default.
  virtual void PrepareRegistry() {}

  HWND Page() const { return monitor.setupPage.hwnd; }
  HWND Control(int id) const { return GetDlgItem(Page(), id); }
  HWND Ports() const { return Control(IDC_COM_PORT); }
  // The pane as it shows once its pending batch is in (its flush timer's work).
  std::wstring Log() {
    monitor.setupPage.log.Flush();
    return TextOf(Control(IDC_LOG));
  }
  std::wstring Readout(int id) const { return TextOf(GetDlgItem(monitor.infoPage.hwnd, id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != 0; }
  bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // A user's click: the page's handler has run (and posted) when it returns;
  // what it posted runs at the next pump.
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  int SelectedTab() const { return static_cast<int>(SendMessageW(monitor.tabControl, TCM_GETCURSEL, 0, 0)); }
  // The user clicks a tab; the tab control itself notifies the main window.
  void ChooseTab(int index) {
    RECT item = {};
    SendMessageW(monitor.tabControl, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(monitor.tabControl, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(monitor.tabControl, WM_LBUTTONUP, 0, at);
  }

  ActiveDrivers drivers;
  SavedPortKey saved;
  pocket::MainWindow monitor;
};

}  // namespace trelvane::test
