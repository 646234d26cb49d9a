// The desktop monitor on a screen of the DPI its Wine prefix sets
// (TRELVANE_TEST_DPI says which; tests/win/desktop/at_dpis.py runs this program
// at 96, 144 and 192). The program carries the monitor's manifest, so it
// starts aware of the DPI as trelvane.exe does: the window, its pages and
// everything drawn by hand grow with the screen, and no text on any page is
// cut by its control.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "desktop/resource.h"
#include "handles/gdi.hpp"
#include "monitor_fixture.hpp"
#include "ui/dpi.hpp"

namespace trelvane::test {
namespace {

UINT ExpectedDpi() {
  const char* set = std::getenv("TRELVANE_TEST_DPI");
  return set != nullptr ? static_cast<UINT>(std::atoi(set)) : 96u;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// Where a control's text must fit: its client less what the control draws
// beside the text (a button's edges, a check box's box).
int TextRoom(HWND control, UINT dpi) {
  RECT client = {};
  GetClientRect(control, &client);
  if (ClassOf(control) != "Button") return client.right;
  const LONG style = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  const bool box = style == BS_AUTOCHECKBOX || style == BS_CHECKBOX || style == BS_AUTORADIOBUTTON;
  return client.right - (box ? GetSystemMetrics(SM_CXMENUCHECK) + ui::Scaled(4, dpi) : ui::Scaled(4, dpi));
}

// Every visible static's and button's text on `page`, measured in its own
// font: one that is too wide may wrap, if its lines then fit the height.
void ExpectTextsFit(HWND page, const char* name, UINT dpi) {
  int measured = 0;
  for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string kind = ClassOf(child);
    if (!IsWindowVisible(child) || (kind != "Static" && kind != "Button")) continue;
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0] == 0) continue;
    handles::WindowDc control(child);
    HDC dc = control.get();
    SIZE size = {};
    RECT client = {};
    GetClientRect(child, &client);
    {
      handles::SelectedObject font(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
      GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
      const bool wraps = kind == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_LEFT;
      if (size.cx > TextRoom(child, dpi) && wraps) {
        RECT lines = {0, 0, client.right, 0};
        DrawTextA(dc, text, -1, &lines, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        size.cx = lines.right;
        size.cy = lines.bottom;
      }
    }
    EXPECT_LE(size.cx, TextRoom(child, dpi)) << name << ": \"" << text << "\" is cut at " << dpi << " DPI";
    EXPECT_LE(size.cy, client.bottom) << name << ": \"" << text << "\" is cut at the bottom at " << dpi << " DPI";
    ++measured;
  }
  EXPECT_GT(measured, 0) << name << " shows no text";
}

// A bar's lowest row: blue, or red for a satellite not in the fix.
bool BarColour(COLORREF pixel) { return pixel == RGB(0, 0, 255) || pixel == RGB(255, 0, 0); }

TEST_F(MonitorTest, EveryPageIsLaidOutAndDrawnAtTheScreensDpi) {
  const UINT dpi = ExpectedDpi();
  ASSERT_EQ(ui::WindowDpi(monitor.hwnd), dpi) << "the prefix's DPI did not reach an aware monitor";
  RECT frame = {};
  GetWindowRect(monitor.hwnd, &frame);
  EXPECT_EQ(frame.right - frame.left, ui::Scaled(550, dpi));
  RECT page = {};
  GetClientRect(monitor.setupPage.hwnd, &page);
  EXPECT_EQ(page.right, ui::Scaled(525, dpi) - ui::Scaled(5, dpi));
  EXPECT_EQ(page.bottom, ui::Scaled(350, dpi) - ui::Scaled(5, dpi));

  // A played capture at its end fills every page.
  const std::string capture = std::string(TRELVANE_CAPTURE_DIR) + "/bundg_zeus_9.log";
  monitor.PlayFile(capture.c_str());
  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_PAUSE, 0);
  HWND bar = GetDlgItem(monitor.hwnd, IDC_PLAY_POSITION);
  SendMessageA(bar, TBM_SETPOS, TRUE, 1000);
  SendMessageA(monitor.hwnd, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
  ASSERT_TRUE(PumpUntil([&] { return WindowText(monitor.infoPage.hwnd).find('.') != std::string::npos; }, 10000));
  Pump(500);

  const HWND pages[] = {monitor.setupPage.hwnd, monitor.infoPage.hwnd, monitor.accuracyPage.hwnd,
                        monitor.chartsPage.hwnd, monitor.healthPage.hwnd};
  const char* names[] = {"Setup", "TRELVANE", "Accuracy", "Charts", "Health"};
  for (int tab : {0, 2, 4}) {  // the charts' texts are drawn, not controls
    ChooseTab(tab);
    Pump(300);
    ExpectTextsFit(pages[tab], names[tab], dpi);
  }

  // The information page: the sky picture and the bars are as wide as the
  // DPI makes them.
  RECT client = {};
  GetClientRect(monitor.infoPage.hwnd, &client);
  handles::WindowDc screen(nullptr);
  handles::MemoryDc memory(screen.get());
  handles::OwnedBitmap canvas(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
  handles::SelectedObject selected(memory.get(), canvas.get());
  monitor.infoPage.Paint(memory.get(), client.right, client.bottom);
  const auto scaled = [dpi](int pixels) { return ui::Scaled(pixels, dpi); };
  int skyRight = 0;  // the sky picture ends where the page's white starts, along the starry top rows
  while (skyRight < client.right && GetPixel(memory.get(), skyRight, scaled(5)) != RGB(255, 255, 255)) ++skyRight;
  EXPECT_NEAR(skyRight, scaled(155), 1);
  int firstBar = 0, x = scaled(5);  // the first bar's width along its lowest row
  while (x < client.right && !BarColour(GetPixel(memory.get(), x, scaled(229)))) ++x;
  while (x < client.right && BarColour(GetPixel(memory.get(), x++, scaled(229)))) ++firstBar;
  EXPECT_NEAR(firstBar, scaled(14), 1);
  SendMessageA(monitor.hwnd, WM_COMMAND, IDM_STOP_PLAYING, 0);
}

}  // namespace
}  // namespace trelvane::test
