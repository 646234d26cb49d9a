#include "desktop/play_strip.hpp"

#include <commctrl.h>

#include "ui/dpi.hpp"

namespace trelvane::desktop {

namespace {

constexpr int kBarWidth = 180;  // the rest of the strip is the text's: a long name fits
constexpr int kMargin = 5;

HWND MakeChild(HWND window, const char* className, DWORD style, const RECT& rect, int id) {
  return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         ui::ModuleInstance(), nullptr);
}

void Resize(HWND window, int grow) {
  RECT frame = {};
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool PlayStrip::Show(HWND window, HWND tabs) {
  if (Shown()) return true;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  // Sized for the window's screen: the strip's pixels are a 96-DPI screen's.
  dpi_ = ui::WindowDpi(window);
  const auto px = [this](int pixels) { return ui::Scaled(pixels, dpi_); };
  Resize(window, px(kPlayStripHeight));
  RECT under = {};
  GetWindowRect(tabs, &under);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&under), 2);
  RECT client = {};
  GetClientRect(window, &client);
  const int top = under.bottom + px(2);
  const RECT barRect = {px(kMargin), top, px(kMargin + kBarWidth), top + px(kPlayStripHeight - 6)};
  const RECT textRect = {barRect.right + px(kMargin), top + px(6), client.right - px(kMargin), top + px(24)};
  bar_ = MakeChild(window, TRACKBAR_CLASSA, TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, barRect, IDC_PLAY_POSITION);
  text_ = MakeChild(window, "STATIC", SS_LEFT | SS_NOPREFIX, textRect, IDC_PLAY_TEXT);
  window_ = window;
  if (bar_ == nullptr || text_ == nullptr) {
    Hide();
    return false;
  }
  SendMessageA(text_, WM_SETFONT, SendMessageA(tabs, WM_GETFONT, 0, 0), FALSE);
  SendMessageA(bar_, TBM_SETRANGE, FALSE, MAKELPARAM(0, 1000));
  SendMessageA(bar_, TBM_SETPAGESIZE, 0, 50);
  tracking_ = false;
  shownPermille_ = -1;
  return true;
}

void PlayStrip::Hide() {
  if (window_ == nullptr) return;
  shownText_.Show(window_, IDC_PLAY_TEXT, "");  // the next file's text shows whatever it is
  if (bar_ != nullptr) DestroyWindow(bar_);
  if (text_ != nullptr) DestroyWindow(text_);
  bar_ = text_ = nullptr;
  Resize(window_, -ui::Scaled(kPlayStripHeight, dpi_));
  window_ = nullptr;
}

void PlayStrip::ShowPosition(int permille, const char* text) {
  if (!Shown()) return;
  if (!tracking_ && permille != shownPermille_) {
    shownPermille_ = permille;
    SendMessageA(bar_, TBM_SETPOS, TRUE, permille);
  }
  shownText_.Show(window_, IDC_PLAY_TEXT, text);
}

bool PlayStrip::TakeScroll(WPARAM wParam, LPARAM lParam, int& permille) {
  if (!Shown() || reinterpret_cast<HWND>(lParam) != bar_) return false;
  const int code = LOWORD(wParam);
  if (code == TB_THUMBTRACK) {
    tracking_ = true;
    return false;
  }
  if (code != TB_ENDTRACK && code != TB_THUMBPOSITION) return false;
  tracking_ = false;
  permille = static_cast<int>(SendMessageA(bar_, TBM_GETPOS, 0, 0));
  // A drag ends with both: the second finds the bar where the first left it.
  if (permille == shownPermille_) return false;
  shownPermille_ = permille;
  return true;
}

}  // namespace trelvane::desktop
