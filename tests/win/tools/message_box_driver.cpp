#include "tests/win/tools/message_box_driver.hpp"

#include <vector>

namespace trelvane::tools::testing {
namespace {

constexpr DWORD kStepMillis = 10000;
constexpr DWORD kPollMillis = 20;
constexpr int kTextId = 0xFFFF;

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct BoxSearch {
  DWORD processId;
  HWND box;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[16] = L"";
  GetClassNameW(window, className, 16);
  // The box counts once it is shown with its OK button: before that its
  // controls may still be in the making.
  if (owner == search->processId && wcscmp(className, L"#32770") == 0 && IsWindowVisible(window) &&
      GetDlgItem(window, IDOK) != nullptr) {
    search->box = window;
    return FALSE;
  }
  return TRUE;
}

// The box's icon is a static control of icon style (its id differs between
// systems).
HWND FindIconControl(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
  }
  return nullptr;
}

// A 32-bit top-down bitmap of width x height that a DC draws into.
class PixelCanvas {
 public:
  PixelCanvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    count_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  ~PixelCanvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  PixelCanvas(const PixelCanvas&) = delete;
  PixelCanvas& operator=(const PixelCanvas&) = delete;

  HDC Dc() const { return dc_; }
  std::vector<DWORD> Pixels() const {
    GdiFlush();
    std::vector<DWORD> pixels(bits_, bits_ + count_);
    for (DWORD& p : pixels) p &= 0xFFFFFF;
    return pixels;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
  std::size_t count_ = 0;
};

// Icon handles belong to the process that loaded them, so the box's icon is
// told by its pixels on the screen: they must equal the system icon drawn
// here on the same background.
BoxIcon ReadIcon(HWND box) {
  HWND control = FindIconControl(box);
  if (control == nullptr) return BoxIcon::kUnknown;
  RECT rect;
  GetWindowRect(control, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return BoxIcon::kUnknown;
  const struct {
    LPCWSTR id;
    BoxIcon icon;
  } candidates[] = {{MAKEINTRESOURCEW(32516) /* IDI_INFORMATION */, BoxIcon::kInformation},
                  {MAKEINTRESOURCEW(32513) /* IDI_ERROR */, BoxIcon::kError}};
  // The box paints soon after it shows; until then the screen holds something else.
  for (DWORD waited = 0; waited < kStepMillis; waited += kPollMillis) {
    PixelCanvas shot(width, height);
    HDC screen = GetDC(nullptr);
    BitBlt(shot.Dc(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    const std::vector<DWORD> seen = shot.Pixels();
    for (const auto& candidate : candidates) {
      PixelCanvas drawn(width, height);
      HBRUSH background = CreateSolidBrush(seen[0]);  // the icons' corners are transparent
      RECT all = {0, 0, width, height};
      FillRect(drawn.Dc(), &all, background);
      DeleteObject(background);
      DrawIconEx(drawn.Dc(), 0, 0, LoadIconW(nullptr, candidate.id), 0, 0, 0, nullptr, DI_NORMAL);
      if (drawn.Pixels() == seen) return candidate.icon;
    }
    Sleep(kPollMillis);
  }
  return BoxIcon::kUnknown;
}

}  // namespace

AnsweredBox RunAndAnswerMessageBox(const std::wstring& exe) {
  AnsweredBox answered;
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    answered.problem = "cannot start the program, error " + std::to_string(GetLastError());
    return answered;
  }
  OwnedHandle processHandle(process.hProcess);
  OwnedHandle threadHandle(process.hThread);

  BoxSearch search = {process.dwProcessId, nullptr};
  for (DWORD waited = 0; search.box == nullptr && waited < kStepMillis; waited += kPollMillis) {
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.box != nullptr) break;
    if (WaitForSingleObject(process.hProcess, kPollMillis) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &answered.exitCode);
      answered.problem = "the program ended without a message box, exit code " + std::to_string(answered.exitCode);
      return answered;
    }
  }
  if (search.box == nullptr) {
    TerminateProcess(process.hProcess, 99);
    answered.problem = "no message box appeared";
    return answered;
  }

  wchar_t text[256] = L"";
  GetWindowTextW(search.box, text, 256);
  answered.caption = text;
  text[0] = L'\0';
  GetDlgItemTextW(search.box, kTextId, text, 256);
  answered.text = text;
  answered.icon = ReadIcon(search.box);

  PostMessageW(search.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(search.box, IDOK)));
  if (WaitForSingleObject(process.hProcess, kStepMillis) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    answered.problem = "the program did not end after OK";
    return answered;
  }
  GetExitCodeProcess(process.hProcess, &answered.exitCode);
  return answered;
}

}  // namespace trelvane::tools::testing
