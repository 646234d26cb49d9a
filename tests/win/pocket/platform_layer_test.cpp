// The handheld platform layer against what each piece stands for: the
// screen and its default window, the foreground call with its flag bit, the
// silent key event, the process snapshot's close, and the shell's menu bar
// built from the program's own menu-bar record.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <vector>

#include "ce/device.hpp"
#include "ce/dialog_template.hpp"
#include "ce/shell.hpp"
#include "pocket/resource.h"
#include "tests/win/pocket/pocket_fixture.hpp"

namespace {

using namespace trelvane;

constexpr UINT kShortMenuBarRecord = 901;  // tests/win/pocket/records.rc

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A top-level window that records the commands it receives.
class CommandWindow {
 public:
  CommandWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TrelvaneCommandWindow";
    RegisterClassW(&windowClass);
    hwnd = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 26, 240, 268, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  CommandWindow(const CommandWindow&) = delete;
  CommandWindow& operator=(const CommandWindow&) = delete;
  ~CommandWindow() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }

  HWND hwnd = nullptr;
  std::vector<WPARAM> commands;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CommandWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_COMMAND && self != nullptr) self->commands.push_back(wParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
};

struct TopLevelCase {
  const char* what;
  DWORD style;
  int x, y, width, height;
  RECT expected;
  bool popup;
};

const TopLevelCase kTopLevelCases[] = {
    {"default place and size: the work area below the task bar, no caption", WS_VISIBLE, CW_USEDEFAULT,
     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, {0, 26, 240, 320}, true},
    {"a default place with a size of its own", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 100, 80, {0, 26, 100, 106},
     true},
    {"an explicit captioned window stays as asked", WS_VISIBLE | WS_CAPTION, 10, 40, 200, 150, {10, 40, 210, 190},
     false},
};

TEST(PlatformLayer, TopLevelWindowsFillTheWorkAreaAsOnTheHandheld) {
  const RECT area = ce::WorkArea();
  EXPECT_TRUE(SameRect(area, RECT{0, ce::kTaskBarHeight, 240, 320}));
  for (const TopLevelCase& c : kTopLevelCases) {
    HWND window = ce::CreateTopLevel(0, L"STATIC", L"", c.style, c.x, c.y, c.width, c.height, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr) << c.what;
    EXPECT_TRUE(SameRect(WindowRect(window), c.expected)) << c.what;
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ((style & WS_POPUP) != 0, c.popup) << c.what;
    if (c.popup) {
      EXPECT_EQ(style & WS_CAPTION, 0) << c.what;
    }
    DestroyWindow(window);
  }
}

TEST(PlatformLayer, TheFlagBitBringsTheWindowAndItsOwnedPopupForwardAndIsNeverPassedOn) {
  CommandWindow first;
  CommandWindow other;
  HWND popup = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 60, 100, 100, first.hwnd, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(popup, nullptr);
  SetForegroundWindow(popup);
  SetForegroundWindow(other.hwnd);
  ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == other.hwnd; }, 2000));

  const HWND flagged = reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(first.hwnd) | 1);
  ASSERT_FALSE(IsWindow(flagged)) << "Win32 takes the flagged handle for another window";
  EXPECT_TRUE(ce::BringToForeground(flagged));
  EXPECT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == popup; }, 2000));

  EXPECT_TRUE(ce::BringToForeground(other.hwnd));  // without the bit: the window itself
  EXPECT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == other.hwnd; }, 2000));

  DestroyWindow(popup);
  DestroyWindow(first.hwnd);
  EXPECT_FALSE(ce::BringToForeground(flagged)) << "a window that is gone";
}

// The keep-awake tick's events: on Win32 the handheld's silent flag would be
// KEYEVENTF_UNICODE and type a character into the focused control.
TEST(PlatformLayer, SilentKeyEventsReachNoWindow) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 0, 26, 200, 30, nullptr, nullptr, nullptr,
                              nullptr);
  SetForegroundWindow(edit);
  SetFocus(edit);
  ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() == edit; }, 2000));
  ce::KeyEvent('A', 0, ce::kKeyEventSilent, 0);
  ce::KeyEvent('A', 0, KEYEVENTF_KEYUP | ce::kKeyEventSilent, 0);
  ce::KeyEvent(0, 0, ce::kKeyEventSilent, 0);
  ce::KeyEvent(0, 0, KEYEVENTF_KEYUP | ce::kKeyEventSilent, 0);
  test::Pump(300);
  EXPECT_EQ(test::TextOf(edit), L"");

  // The same events without the flag are keys, so the edit would have shown one.
  ce::KeyEvent('A', 0, 0, 0);
  ce::KeyEvent('A', 0, KEYEVENTF_KEYUP, 0);
  EXPECT_TRUE(test::PumpUntil([&] { return !test::TextOf(edit).empty(); }, 2000));
  DestroyWindow(edit);
}

TEST(PlatformLayer, ClosingASnapshotClosesItsHandle) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(snapshot, &flags));
  EXPECT_TRUE(ce::CloseToolhelp32Snapshot(snapshot));
  EXPECT_FALSE(GetHandleInformation(snapshot, &flags));
}

TEST(PlatformLayer, TheMenuBarRecordHoldsTheAboutReceiverAndFileButtons) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  HRSRC record = FindResourceW(self, MAKEINTRESOURCEW(IDR_MENU_BAR), MAKEINTRESOURCEW(10));
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(SizeofResource(self, record), 46u);
  const WORD* words = static_cast<const WORD*>(LockResource(LoadResource(self, record)));
  const std::vector<WORD> expected = {105, 3, 0xFFFE, 40001, 0x0004, 0x0010, 40007, 0, 0,
                                      0xFFFE, 40003, 0x0004, 0x0010, 40008, 0, 0,
                                      0xFFFE, 40004, 0x0004, 0x0010, 40009, 0, 0};
  EXPECT_EQ(std::vector<WORD>(words, words + 23), expected);

  ce::MenuBarButton buttons[ce::kMenuBarButtonsMax];
  ASSERT_EQ(ce::ReadMenuBarRecord(self, IDR_MENU_BAR, buttons, ce::kMenuBarButtonsMax), 3);
  EXPECT_EQ(buttons[0].command, IDM_ABOUT);
  EXPECT_EQ(buttons[0].caption, IDS_ABOUT_BUTTON);
  EXPECT_EQ(buttons[1].command, IDM_RECEIVER);
  EXPECT_EQ(buttons[1].caption, IDS_RECEIVER_BUTTON);
  EXPECT_EQ(buttons[2].command, IDM_FILE);
  EXPECT_EQ(buttons[2].caption, IDS_FILE_BUTTON);
  // A record that announces more buttons than it holds is not read past.
  EXPECT_EQ(ce::ReadMenuBarRecord(self, kShortMenuBarRecord, buttons, ce::kMenuBarButtonsMax), -1);
  EXPECT_EQ(ce::ReadMenuBarRecord(self, 999, buttons, ce::kMenuBarButtonsMax), -1);
}

TEST(PlatformLayer, TheMenuBarLiesAlongTheBottomOfTheScreenAndSendsItsCommandToItsOwner) {
  CommandWindow owner;
  ce::MenuBarInfo info = {};
  info.cbSize = sizeof info;
  info.hwndParent = owner.hwnd;
  info.nToolBarId = IDR_MENU_BAR;
  info.hInstRes = GetModuleHandleW(nullptr);
  ASSERT_TRUE(ce::SHCreateMenuBar(&info));
  HWND bar = info.hwndMB;
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(SameRect(WindowRect(bar), RECT{0, 320 - ce::kMenuBarHeight, 240, 320}));
  EXPECT_EQ(GetWindow(bar, GW_OWNER), owner.hwnd);
  HWND about = GetDlgItem(bar, IDM_ABOUT);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(test::TextOf(about), L"About");
  EXPECT_TRUE(IsWindowEnabled(about));

  SendMessageW(about, BM_CLICK, 0, 0);
  EXPECT_EQ(owner.commands, std::vector<WPARAM>{IDM_ABOUT});

  info.cbSize = 32;  // the handheld's record size is not this platform's
  EXPECT_FALSE(ce::SHCreateMenuBar(&info));
  info.cbSize = sizeof info;
  info.nToolBarId = kShortMenuBarRecord;
  EXPECT_FALSE(ce::SHCreateMenuBar(&info));
  EXPECT_EQ(info.hwndMB, nullptr);

  DestroyWindow(owner.hwnd);
  EXPECT_FALSE(IsWindow(bar)) << "the bar goes with its owner";
}

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

// The Setup page's template in the handheld's font: every control still there,
// and the page's 142 x 147 units fit the 240 x 246 pixels it is given.
TEST(PlatformLayer, DialogTemplatesTakeTheHandheldFontAndKeepTheirControls) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  ce::DialogTemplate setup;
  ASSERT_TRUE(setup.Load(self, IDD_SETUP));
  HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 26, 240, 294, nullptr, nullptr, nullptr, nullptr);
  HWND page = CreateDialogIndirectParamW(self, setup.get(), host, PlainDialog, 0);
  ASSERT_NE(page, nullptr);
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, L"Tahoma");
  for (int id : {IDC_LOG, IDC_SCAN, IDC_COLD_START, IDC_START_GPS, IDC_COM_PORT, IDC_BAUD_RATE, IDC_POWER_SAVE,
                 IDC_WAAS, IDC_VTG}) {
    EXPECT_NE(GetDlgItem(page, id), nullptr) << id;
  }
  EXPECT_EQ(test::TextOf(GetDlgItem(page, IDC_WAAS)), L"WAAS/EGNOS");
  RECT units = {0, 0, 142, 147};
  MapDialogRect(page, &units);
  EXPECT_LE(units.right, 240);
  EXPECT_LE(units.bottom, 246);
  EXPECT_GE(units.right, 180) << "the page is laid out for the whole width";
  DestroyWindow(host);

  ce::DialogTemplate missing;
  EXPECT_FALSE(missing.Load(self, 999));
  EXPECT_EQ(missing.get(), nullptr);
}

}  // namespace
