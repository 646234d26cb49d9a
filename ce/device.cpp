#include "ce/device.hpp"

#include "handles/gdi.hpp"

namespace trelvane::ce {

int ScreenPixels(int handheldPixels) {
  static const int dpi = handles::ScreenDpi();
  return MulDiv(handheldPixels, dpi, 96);
}

RECT WorkArea() {
  return RECT{0, ScreenPixels(kTaskBarHeight), ScreenPixels(kScreenWidth), ScreenPixels(kScreenHeight)};
}

HWND CreateTopLevel(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter) {
  if ((style & WS_CHILD) == 0) {
    const RECT area = WorkArea();
    if (x == CW_USEDEFAULT) {
      x = area.left;
      y = area.top;
    }
    if (width == CW_USEDEFAULT) {
      width = area.right - area.left;
      height = area.bottom - area.top;
    }
    if ((style & (WS_POPUP | WS_CAPTION | WS_BORDER | WS_THICKFRAME)) == 0) style |= WS_POPUP;
  }
  return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance, parameter);
}

BOOL BringToForeground(HWND window) {
  const UINT_PTR bits = reinterpret_cast<UINT_PTR>(window);
  HWND target = reinterpret_cast<HWND>(bits & ~static_cast<UINT_PTR>(1));
  if (!IsWindow(target)) return FALSE;
  if ((bits & 1) != 0) {
    // Owned windows stay above their owner; the one the user used last
    // gets the focus back, as when the program is switched to.
    HWND popup = GetLastActivePopup(target);
    const bool takesFocus = (GetWindowLongW(popup, GWL_EXSTYLE) & WS_EX_NOACTIVATE) == 0;  // not the menu bar
    if (popup != nullptr && popup != target && IsWindowVisible(popup) && IsWindowEnabled(popup) && takesFocus) {
      SetForegroundWindow(target);
      target = popup;
    }
  }
  return SetForegroundWindow(target);
}

void KeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extra) {
  if ((flags & kKeyEventSilent) != 0) {
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    return;
  }
  keybd_event(virtualKey, scanCode, flags, extra);
}

BOOL CloseToolhelp32Snapshot(HANDLE snapshot) { return CloseHandle(snapshot); }

}  // namespace trelvane::ce
