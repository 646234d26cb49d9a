#include "ce/shell.hpp"

#include <shlobj.h>

#include "handles/gdi.hpp"
#include "ce/device.hpp"

namespace trelvane::ce {

namespace {

constexpr wchar_t kMenuBarClass[] = L"TrelvaneMenuBar";
constexpr int kCaptionChars = 64;
constexpr int kButtonPadding = 16;

// A button press goes to the bar's owner as the command of that button.
LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        SendMessageW(GetWindow(bar, GW_OWNER), WM_COMMAND, MAKEWPARAM(LOWORD(wParam), 0), 0);
      }
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;  // the bar is the shell's: the program keeps the focus
    default:
      return DefWindowProcW(bar, message, wParam, lParam);
  }
}

void RegisterMenuBarClass(HINSTANCE instance) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = MenuBarProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kMenuBarClass;
  RegisterClassW(&windowClass);  // already registered is fine
}

int CaptionWidth(HWND button, const wchar_t* caption, int length) {
  HDC dc = GetDC(button);
  SIZE size = {};
  {
    handles::SelectedObject font(dc, GetStockObject(DEFAULT_GUI_FONT));
    GetTextExtentPoint32W(dc, caption, length, &size);
  }
  ReleaseDC(button, dc);
  return size.cx + kButtonPadding;
}

}  // namespace

int ReadMenuBarRecord(HINSTANCE instance, UINT id, MenuBarButton* buttons, int capacity) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return -1;
  const DWORD bytes = SizeofResource(instance, found);
  HGLOBAL loaded = LoadResource(instance, found);
  const WORD* words = loaded != nullptr ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
  return ParseMenuBarRecord(words, bytes, buttons, capacity);
}

BOOL SHCreateMenuBar(MenuBarInfo* info) {
  if (info == nullptr || info->cbSize != sizeof(MenuBarInfo)) return FALSE;
  info->hwndMB = nullptr;
  if (!IsWindow(info->hwndParent)) return FALSE;
  MenuBarButton buttons[kMenuBarButtonsMax];
  const int count = ReadMenuBarRecord(info->hInstRes, info->nToolBarId, buttons, kMenuBarButtonsMax);
  if (count < 0) return FALSE;

  RegisterMenuBarClass(info->hInstRes);
  // Created hidden and shown below without activation: a popup created
  // visible is activated by its creation whatever its extended style says,
  // and would take the foreground, and with it the keyboard, from its owner.
  const int barHeight = ScreenPixels(kMenuBarHeight);
  HWND bar = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kMenuBarClass, L"", WS_POPUP, 0,
                             ScreenPixels(kScreenHeight) - barHeight, ScreenPixels(kScreenWidth), barHeight,
                             info->hwndParent, nullptr,
                             info->hInstRes, nullptr);
  if (bar == nullptr) return FALSE;
  int left = 0;
  for (int i = 0; i < count; ++i) {
    wchar_t caption[kCaptionChars] = {};
    const int length = LoadStringW(info->hInstRes, buttons[i].caption, caption, kCaptionChars);
    HWND button = CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, left, 0, 0,
                                  barHeight, bar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttons[i].command)),
                                  info->hInstRes, nullptr);
    if (button == nullptr) continue;
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    const int width = CaptionWidth(button, caption, length);
    MoveWindow(button, left, 0, width, barHeight, TRUE);
    EnableWindow(button, (buttons[i].state & kButtonEnabled) != 0);
    left += width;
  }
  SetWindowPos(bar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  info->hwndMB = bar;
  return TRUE;
}

BOOL SHInitDialog(InitDialogInfo* info) {
  if (info == nullptr || (info->dwMask & SHIDIM_FLAGS) == 0 || !IsWindow(info->hDlg)) return FALSE;
  HWND dialog = info->hDlg;
  if ((info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) != 0) {
    const RECT area = WorkArea();
    MoveWindow(dialog, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
  if ((info->dwFlags & SHIDIF_DONEBUTTON) != 0 && GetDlgItem(dialog, IDOK) == nullptr) {
    RECT client = {};
    GetClientRect(dialog, &client);
    HWND done = CreateWindowExW(0, L"BUTTON", L"Done", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                client.right - ScreenPixels(kDoneButtonWidth + 2), ScreenPixels(2),
                                ScreenPixels(kDoneButtonWidth), ScreenPixels(kDoneButtonHeight), dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
    if (done != nullptr) SendMessageW(done, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
  }
  return TRUE;
}

BOOL SHHandleWMSettingChange(HWND, WPARAM, LPARAM, ActivateInfo*) { return TRUE; }

BOOL SpecialFolderPath(HWND owner, wchar_t* path, int folder, BOOL create) {
  const int flags = create ? CSIDL_FLAG_CREATE : 0;
  return SUCCEEDED(SHGetFolderPathW(owner, folder | flags, nullptr, SHGFP_TYPE_CURRENT, path)) ? TRUE : FALSE;
}

}  // namespace trelvane::ce
