// trelvane-drive: works a running trelvane.exe from outside, as a person at
// the screen would, one action per run. Results go to standard output (UTF-8,
// exactly as the control holds them); the exit status is 0 when the action
// succeeded, 1 when it failed or its wait ran out (with the reason on
// standard error), 2 for a bad command line.
//
//   trelvane-drive wait-window SECONDS     until the monitor's window exists
//   trelvane-drive windows                 how many monitor windows exist
//   trelvane-drive select-port TEXT        pick "COM3:" in the port list
//   trelvane-drive select-baud TEXT        pick "4800" in the baud list
//   trelvane-drive click ID                click a Setup page button
//   trelvane-drive enabled ID              1 or 0
//   trelvane-drive text ID                 a Setup page control's text
//   trelvane-drive wait-text ID TEXT SECONDS
//   trelvane-drive log                     the log pane's text
//   trelvane-drive wait-log TEXT SECONDS   until the log pane contains TEXT; prints
//                                          the last line that does
//   trelvane-drive watch-log TEXT SECONDS  the same, first printing "watching" once
//                                          the pane is being read
//   trelvane-drive click-until-log ID TEXT SECONDS
//                                          click, then wait for TEXT in the log;
//                                          prints the milliseconds it took
//   trelvane-drive checked ID              1 or 0 for a check box
//   trelvane-drive tab N                   choose tab N (0 Setup, 1 information,
//                                          2 accuracy, 3 charts, 4 health)
//   trelvane-drive click-tab N             choose it with the mouse only
//   trelvane-drive page                    "setup", "info", "accuracy", "charts" or "health": the page shown
//   trelvane-drive page-rect               the information page on the screen
//   trelvane-drive window-rect             the main window on the screen
//   trelvane-drive foreground              "yes" or "no"
//   trelvane-drive close [SECONDS]         close the window, wait until gone
//   trelvane-drive hold-foreground SECONDS another program's window takes the
//                                          foreground; "ready" once it has it
//   trelvane-drive info-text ID            an information page control's text
//   trelvane-drive readout                 the information page's eleven readout
//                                          texts in their order, '|' between
//   trelvane-drive main-text ID            the text of a main window's control
//                                          (the playing file's position text)
//   trelvane-drive seek PERMILLE           move the playing file's position bar
//                                          there, as a drag that ends there does
//   trelvane-drive accuracy-texts          the accuracy page's texts, one a line
//   trelvane-drive accuracy-click ID       click an accuracy page button
//   trelvane-drive health-texts            the health page's clock line, times
//                                          to first fix, then its table
//   trelvane-drive post-click ID           post the click, as a queued input would
//   trelvane-drive open-menu N K           open the menu bar's item N (0 first),
//                                          then K submenus of it, as keys would
//   trelvane-drive close-menu              close it again
//                                          arrive, and do not wait for it
//   trelvane-drive ctrl-key LETTER         type Ctrl+LETTER (real key input, to
//                                          whichever window has the foreground)
//   trelvane-drive about                   open the About box and close it again
//   trelvane-drive press-ok CAPTION SECONDS  press OK on a message box so captioned
//   trelvane-drive dialog CAPTION SECONDS [ID=TEXT ...] [press=ID]
//                                          type into a shown dialog's controls,
//                                          then post a click on a button
//   trelvane-drive dialog-text CAPTION ID TEXT SECONDS
//                                          until the dialog's control holds TEXT
//   trelvane-drive dialog-items CAPTION ID a dialog's combo box items, one a line
//   trelvane-drive scan-ok SECONDS         press OK on the Scan Ports dialog once
//                                          it is shown; returns once it is hidden
//   trelvane-drive gdi-census              the GDI objects the monitor's paint
//                                          helpers hold; fails when the window
//                                          does not answer within 1 s (a hang)
//   trelvane-drive handle-count            the monitor process's open handles
//   trelvane-drive work-census             the window's timer messages, log-pane
//                                          inserts, pages' paints and texts set
//                                          so far, "name count" a line
//
// With --pocket before the action it works trelvane-pocket.exe instead, whose
// Setup page has other control ids (the ids given on the command line are
// always the running program's own).
//
// Rectangles print as "left top right bottom" in screen pixels.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "desktop/resource.h"
#include "nmea/readout.hpp"
#include "receiver/link_settings.hpp"
#include "tests/e2e/monitor_ids.hpp"
#include "ui/work_census.hpp"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// How long one message to the monitor may take before it counts as hung;
// opening a port inside a click is the slowest thing the monitor does.
constexpr UINT kAnswerMs = 10000;
// A window that takes longer than this over a message with no work behind it
// is hung, as far as a soak run is concerned.
constexpr UINT kHangMs = 1000;
constexpr DWORD kPollMs = 50;
constexpr double kTabSwitchSeconds = 3.0;
// The accuracy page's first text, the same in both builds (the other eight follow).
constexpr int kAccuracyFirstText = 1101;
constexpr int kChartCn0 = 1302;     // the charts page's first chart
constexpr int kHealthTable = 1401;  // then the clock's line and the times to first fix
const char* const kPageNames[] = {"setup", "info", "accuracy", "charts", "health"};
constexpr int kPages = 5;

// The Setup page controls the driver finds by itself; --pocket switches to
// the handheld build's.
const MonitorIds kDesktopIds = {IDC_LOG, IDC_COM_PORT, IDC_BAUD_RATE, IDC_SCAN, IDM_ABOUT};
MonitorIds ids = kDesktopIds;

int Fail(const char* format, const char* detail = "") {
  std::fprintf(stderr, "trelvane-drive: ");
  std::fprintf(stderr, format, detail);
  std::fprintf(stderr, "\n");
  return kFailed;
}

int Usage() {
  std::fprintf(stderr,
               "usage: trelvane-drive wait-window SECONDS | windows | select-port TEXT | select-baud TEXT |\n"
               "       click ID | enabled ID | checked ID | text ID | wait-text ID TEXT SECONDS | log |\n"
               "       wait-log TEXT SECONDS | watch-log TEXT SECONDS | tab N | click-tab N | page | page-rect | window-rect |\n"
               "       foreground | close [SECONDS] | hold-foreground SECONDS | info-text ID |\n"
               "       post-click ID | ctrl-key LETTER | about | press-ok CAPTION SECONDS |\n"
               "       scan-ok SECONDS | gdi-census | handle-count | work-census | select ID TEXT | command ID |\n"
               "       accuracy-texts | accuracy-click ID | health-texts | open-menu N K | close-menu\n"
               "       (--pocket before the action: trelvane-pocket.exe)\n");
  return kBadUsage;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring Wide(const char* utf8) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (units <= 1) return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), units);
  out.resize(static_cast<size_t>(units - 1));
  return out;
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool ParseInt(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return *text != 0 && *end == 0;
}

bool ParseSeconds(const char* text, double& seconds) {
  char* end = nullptr;
  seconds = std::strtod(text, &end);
  return *text != 0 && *end == 0 && seconds >= 0;
}

// Polls `done` until it holds or `seconds` have passed; true if it held.
template <class Done>
bool WaitFor(double seconds, Done done) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollMs);
  }
}

// A message to the monitor that gives up on a hung window instead of hanging
// the driver with it. `answered` is false when no answer came.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* answered = nullptr) {
  DWORD_PTR result = 0;
  const LRESULT ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &result);
  if (answered != nullptr) *answered = ok != 0;
  return static_cast<LRESULT>(result);
}

// The text of another process's window. Wine carries WM_GETTEXT across
// processes in its wide form; the narrow one is not to be trusted there.
std::wstring TextOf(HWND window) {
  const LRESULT length = Ask(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  return text;
}

// The monitor as its own single-instance check finds it: by class and title.
HWND MainWindow() { return FindWindowA("Trelvane", "Trelvane"); }

struct Monitor {
  HWND main = nullptr;
  HWND tabs = nullptr;
  HWND setup = nullptr;  // the page that holds the log pane
  HWND info = nullptr;   // the page with neither
  HWND accuracy = nullptr;  // the page with the accuracy texts
  HWND charts = nullptr;    // the page with the C/N0 chart
  HWND health = nullptr;    // the page with the sentences' table
};

// The pages are dialogs inside the tab control; the Setup page is the one
// with the log pane, the accuracy page the one with the figures' texts.
bool FindMonitor(Monitor& monitor, bool complain = true) {
  auto Missing = [complain](const char* what) {
    if (complain) Fail(what);
    return false;
  };
  monitor = {};
  monitor.main = MainWindow();
  if (monitor.main == nullptr) return Missing("no monitor window (class and title \"Trelvane\")");
  monitor.tabs = GetDlgItem(monitor.main, IDC_TABS);
  if (monitor.tabs == nullptr) return Missing("the monitor window has no tab control");
  for (HWND page = FindWindowExA(monitor.tabs, nullptr, "#32770", nullptr); page != nullptr;
       page = FindWindowExA(monitor.tabs, page, "#32770", nullptr)) {
    if (GetDlgItem(page, ids.log) != nullptr) {
      monitor.setup = page;
    } else if (GetDlgItem(page, kAccuracyFirstText) != nullptr) {
      monitor.accuracy = page;
    } else if (GetDlgItem(page, kHealthTable) != nullptr) {
      monitor.health = page;
    } else if (GetDlgItem(page, kChartCn0) != nullptr) {
      monitor.charts = page;
    } else {
      monitor.info = page;
    }
  }
  if (monitor.setup == nullptr || monitor.info == nullptr || monitor.accuracy == nullptr || monitor.charts == nullptr ||
      monitor.health == nullptr) {
    return Missing("the tab control does not hold all five pages");
  }
  return true;
}

bool SetupControl(const Monitor& monitor, const char* idText, HWND& control, long& id) {
  if (!ParseInt(idText, id)) {
    Fail("not a control id: %s", idText);
    return false;
  }
  control = GetDlgItem(monitor.setup, static_cast<int>(id));
  if (control == nullptr) {
    Fail("the Setup page has no control %s", idText);
    return false;
  }
  return true;
}

// Picks the list item whose text is exactly `wanted` and tells the page, as
// the combo box does when a person picks an item.
int Select(const Monitor& monitor, int id, const char* wanted) {
  HWND combo = GetDlgItem(monitor.setup, id);
  if (combo == nullptr) return Fail("the Setup page has no list %s", std::to_string(id).c_str());
  const std::wstring target = Wide(wanted);
  const LRESULT count = Ask(combo, CB_GETCOUNT, 0, 0);
  std::string seen;  // for the failure: what the list held instead
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = Ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::wstring item(static_cast<size_t>(length) + 1, L'\0');
    Ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<size_t>(length));
    if (item != target) {
      seen += (seen.empty() ? "\"" : ", \"") + Utf8(item) + "\"";
      continue;
    }
    Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    Ask(monitor.setup, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    if (Ask(combo, CB_GETCURSEL, 0, 0) != i) return Fail("the list did not keep the selection %s", wanted);
    Print(Utf8(TextOf(combo)) + "\n");
    return kOk;
  }
  const std::string what = std::string("no list item reads exactly \"") + wanted + "\"; the list holds " +
                           std::to_string(count) + (seen.empty() ? " items" : " items: " + seen);
  return Fail("%s", what.c_str());
}

// A click on a disabled button does nothing for a person, so it is refused.
// A click that opens a modal box (Scan Com Port) would hold a sent message
// until the box closes: it is posted instead.
int Click(const Monitor& monitor, const char* idText) {
  HWND button = nullptr;
  long id = 0;
  if (!SetupControl(monitor, idText, button, id)) return kFailed;
  if (!IsWindowEnabled(button)) return Fail("control %s is disabled", idText);
  if (id == ids.scan) {
    if (!PostMessageW(button, BM_CLICK, 0, 0)) return Fail("the click on %s could not be posted", idText);
    return kOk;
  }
  bool answered = false;
  Ask(button, BM_CLICK, 0, 0, &answered);
  if (!answered) return Fail("the monitor did not take the click on %s in time", idText);
  return kOk;
}

const char* PageShown(const Monitor& monitor) {
  const HWND pages[] = {monitor.setup, monitor.info, monitor.accuracy, monitor.charts, monitor.health};
  int visible = 0, shown = 0;
  for (int i = 0; i < kPages; ++i) {
    if (IsWindowVisible(pages[i]) == 0) continue;
    ++visible;
    shown = i;
  }
  if (visible != 1) return visible == 0 ? "none" : "several";
  return kPageNames[shown];
}

// Where tab `index` lies in the tab control. The tab control writes the
// rectangle through a pointer, so it must point into the monitor's own memory.
bool TabItemRect(const Monitor& monitor, int index, RECT& rect) {
  DWORD pid = 0;
  GetWindowThreadProcessId(monitor.tabs, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return false;
  bool ok = false;
  void* remote = VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE);
  if (remote != nullptr) {
    SIZE_T got = 0;
    ok = Ask(monitor.tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote)) != 0 &&
         ReadProcessMemory(process, remote, &rect, sizeof rect, &got) && got == sizeof rect;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return ok;
}

// Clicks tab `index` with the mouse at its centre, as a person does.
bool ClickTab(const Monitor& monitor, int index) {
  RECT item = {};
  if (!TabItemRect(monitor, index, item)) return false;
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  return PostMessageW(monitor.tabs, WM_LBUTTONDOWN, MK_LBUTTON, at) && PostMessageW(monitor.tabs, WM_LBUTTONUP, 0, at);
}

// The monitor switches pages when its tab control reports a new selection.
// Moving the tab control's focus to a tab makes it report one; should that
// not happen, the tab is clicked. With `mouseOnly` it is clicked at once.
int ChooseTab(const Monitor& monitor, const char* indexText, bool mouseOnly) {
  long index = 0;
  if (!ParseInt(indexText, index) || index < 0 || index >= kPages) return Fail("no tab %s (0 to 4)", indexText);
  const char* wanted = kPageNames[index];
  auto switched = [&] { return std::strcmp(PageShown(monitor), wanted) == 0; };
  bool shown = false;
  if (!mouseOnly) {
    Ask(monitor.tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
    shown = WaitFor(kTabSwitchSeconds, switched);
  }
  if (!shown) {
    if (!ClickTab(monitor, static_cast<int>(index))) return Fail("cannot click tab %s", indexText);
    if (!WaitFor(kTabSwitchSeconds, switched)) {
      return Fail("the monitor shows page \"%s\" after the tab was chosen", PageShown(monitor));
    }
  }
  const LRESULT selected = Ask(monitor.tabs, TCM_GETCURSEL, 0, 0);
  if (selected != index) return Fail("the page switched but tab %s is not the selected tab", indexText);
  Print(std::string(wanted) + "\n");
  return kOk;
}

std::string RectText(const RECT& rect) {
  char text[96];
  std::snprintf(text, sizeof text, "%ld %ld %ld %ld\n", static_cast<long>(rect.left), static_cast<long>(rect.top),
                static_cast<long>(rect.right), static_cast<long>(rect.bottom));
  return text;
}

// The information page's client area on the screen: its pixels are the
// page's own coordinates shifted by left and top.
int PageRect(const Monitor& monitor) {
  RECT client = {};
  if (!GetClientRect(monitor.info, &client)) return Fail("cannot read the information page's size");
  POINT origin = {0, 0};
  if (!ClientToScreen(monitor.info, &origin)) return Fail("cannot place the information page on the screen");
  const RECT screen = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  Print(RectText(screen));
  return kOk;
}

BOOL CALLBACK CountMonitor(HWND window, LPARAM count) {
  char className[64] = {};
  char title[64] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(className, "Trelvane") == 0 && std::strcmp(title, "Trelvane") == 0) {
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

// A window of another program that takes the foreground and keeps it until
// `seconds` have passed or someone else takes it, so that a test can see the
// monitor come forward. Prints "ready" once it is in front.
int HoldForeground(double seconds) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TrelvaneDriveHolder";
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassA(&windowClass);
  // Away from the monitor's window, which opens at the top left.
  HWND holder = CreateWindowExA(0, windowClass.lpszClassName, "trelvane-drive", WS_POPUP | WS_VISIBLE, 600, 500, 160,
                                80, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (holder == nullptr) return Fail("cannot create a window");
  auto pump = [] {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  };
  SetForegroundWindow(holder);
  if (!WaitFor(5.0, [&] {
        pump();
        return GetForegroundWindow() == holder;
      })) {
    DestroyWindow(holder);
    return Fail("the window did not come to the foreground");
  }
  Print("ready\n");
  WaitFor(seconds, [&] {
    pump();
    return GetForegroundWindow() != holder;
  });
  DestroyWindow(holder);
  return kOk;
}

// Ctrl+`letter` as the keyboard gives it: the keys go to the foreground
// window's thread, as a person's would.
int CtrlKey(const char* letter) {
  if (letter[0] < 'a' || letter[0] > 'z' || letter[1] != 0) return Usage();
  const WORD key = static_cast<WORD>('A' + (letter[0] - 'a'));
  INPUT keys[4] = {};
  const WORD order[4] = {VK_CONTROL, key, key, VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = order[i];
    keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  if (SendInput(4, keys, sizeof(INPUT)) != 4) return Fail("the keys could not be sent");
  return kOk;
}

// The About command from the menu, then the box's own OK (or Done), as a
// person closes it; returns once the box is hidden.
int OpenAndCloseAbout(const Monitor& monitor) {
  if (!PostMessageW(monitor.main, WM_COMMAND, MAKEWPARAM(ids.about, 0), 0)) return Fail("About could not be posted");
  HWND about = nullptr;
  auto shown = [&] {  // a dialog the main window owns (the handheld's menu bar is no dialog)
    for (about = FindWindowExA(nullptr, nullptr, "#32770", nullptr); about != nullptr;
         about = FindWindowExA(nullptr, about, "#32770", nullptr)) {
      if (GetWindow(about, GW_OWNER) == monitor.main && IsWindowVisible(about)) return true;
    }
    return false;
  };
  if (!WaitFor(10, shown)) return Fail("no About box within 10 s");
  HWND ok = GetDlgItem(about, IDOK);
  if (ok == nullptr || !PostMessageW(ok, BM_CLICK, 0, 0)) return Fail("the About box has no OK or Done to press");
  if (!WaitFor(10, [&] { return !IsWindowVisible(about); })) return Fail("the About box is still shown");
  return kOk;
}

// A message box of any program: a dialog window with that caption. Its OK
// is pressed by a posted click, since the box's own loop must run it.
int PressOk(const char* caption, double seconds) {
  HWND box = nullptr;
  if (!WaitFor(seconds, [&] { return (box = FindWindowA("#32770", caption)) != nullptr && IsWindowVisible(box); })) {
    return Fail("no box captioned \"%s\" in time", caption);
  }
  HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr || !PostMessageW(ok, BM_CLICK, 0, 0)) return Fail("the box has no OK to press");
  Print(Utf8(TextOf(GetDlgItem(box, 0xFFFF))) + "\n");
  return kOk;
}

// The Scan Ports dialog's own OK, pressed as the button reports it; the
// dialog then stops its scan and hides.
int PressScanOk(const Monitor& monitor, double seconds) {
  HWND scan = nullptr;
  auto shown = [&] {  // a closed one stays, hidden, for a while under Wine
    for (scan = FindWindowExA(nullptr, nullptr, "#32770", "Scan Ports"); scan != nullptr;
         scan = FindWindowExA(nullptr, scan, "#32770", "Scan Ports")) {
      if (GetAncestor(GetWindow(scan, GW_OWNER), GA_ROOT) == monitor.main && IsWindowVisible(scan)) return true;
    }
    return false;
  };
  if (!WaitFor(seconds, shown)) return Fail("no Scan Ports dialog in time");
  HWND ok = GetDlgItem(scan, IDC_SCAN_OK);
  if (ok == nullptr || !PostMessageW(scan, WM_COMMAND, MAKEWPARAM(IDC_SCAN_OK, BN_CLICKED), reinterpret_cast<LPARAM>(ok))) {
    return Fail("the Scan Ports dialog has no OK to press");
  }
  if (!WaitFor(seconds, [&] { return !IsWindowVisible(scan); })) return Fail("the Scan Ports dialog is still shown");
  return kOk;
}

// Wine's GetGuiResources always answers 0, so the monitor counts for itself.
int GdiCensus() {
  HWND main = MainWindow();
  if (main == nullptr) return Fail("no monitor window");
  DWORD_PTR live = 0;
  if (!SendMessageTimeoutW(main, trelvane::receiver::kMsgGdiCensus, 0, 0, SMTO_ABORTIFHUNG, kHangMs, &live)) {
    return Fail("the monitor did not answer within 1 s");
  }
  Print(std::to_string(static_cast<long>(live)) + "\n");
  return kOk;
}

// The window's work so far, one "name count" a line (ui/work_census.hpp).
int WorkCensus() {
  HWND main = MainWindow();
  if (main == nullptr) return Fail("no monitor window");
  static const char* const kNames[] = {"timers", "log-inserts", "info-paints", "accuracy-paints", "texts-set"};
  std::string out;
  for (unsigned i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(main, trelvane::ui::kMsgWorkCensus, i, 0, SMTO_ABORTIFHUNG, kHangMs, &count)) {
      return Fail("the monitor did not answer within 1 s");
    }
    out += std::string(kNames[i]) + " " + std::to_string(static_cast<unsigned long>(count)) + "\n";
  }
  Print(out);
  return kOk;
}

int HandleCount() {
  HWND main = MainWindow();
  DWORD pid = 0;
  if (main == nullptr || GetWindowThreadProcessId(main, &pid) == 0) return Fail("no monitor window");
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return Fail("cannot open the monitor process");
  DWORD count = 0;
  const BOOL ok = GetProcessHandleCount(process, &count);
  const DWORD error = GetLastError();
  CloseHandle(process);
  if (!ok) return Fail("GetProcessHandleCount failed with error %s", std::to_string(error).c_str());
  // A running process always holds some; Wine 8 answers 0 without counting.
  if (count == 0) return Fail("GetProcessHandleCount answers 0: this system does not count handles");
  Print(std::to_string(count) + "\n");
  return kOk;
}

// A dialog of the monitor's, shown, by its caption.
HWND ShownDialog(const char* caption, double seconds) {
  HWND dialog = nullptr;
  WaitFor(seconds, [&] {
    for (dialog = FindWindowExA(nullptr, nullptr, "#32770", caption); dialog != nullptr;
         dialog = FindWindowExA(nullptr, dialog, "#32770", caption)) {
      if (IsWindowVisible(dialog)) return true;
    }
    return false;
  });
  return dialog;
}

// Types ID=TEXT into a dialog's controls (a combo box's into its edit
// field), then presses the button `press=ID` names, as a posted click.
int FillDialog(const char* caption, double seconds, int count, char** items) {
  HWND dialog = ShownDialog(caption, seconds);
  if (dialog == nullptr) return Fail("no dialog captioned \"%s\" in time", caption);
  for (int i = 0; i < count; ++i) {
    const char* item = items[i];
    const char* equals = std::strchr(item, '=');
    if (equals == nullptr) return Usage();
    const bool press = std::strncmp(item, "press=", 6) == 0;
    long id = 0;
    if (!ParseInt(press ? equals + 1 : std::string(item, equals).c_str(), id)) return Usage();
    HWND control = GetDlgItem(dialog, static_cast<int>(id));
    if (control == nullptr) return Fail("the dialog has no control %s", item);
    if (press) {
      if (!PostMessageW(control, BM_CLICK, 0, 0)) return Fail("the click on %s could not be posted", item);
      continue;
    }
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(equals + 1), SMTO_ABORTIFHUNG, 5000,
                             &answer)) {
      return Fail("%s could not be typed", item);
    }
  }
  return kOk;
}

// Waits until a dialog's control holds TEXT; prints what it holds then.
int WaitDialogText(const char* caption, const char* idText, const char* text, double seconds) {
  long id = 0;
  if (!ParseInt(idText, id)) return Usage();
  HWND dialog = ShownDialog(caption, seconds);
  if (dialog == nullptr) return Fail("no dialog captioned \"%s\" in time", caption);
  std::string held;
  const bool found = WaitFor(seconds, [&] {
    held = Utf8(TextOf(GetDlgItem(dialog, static_cast<int>(id))));
    return held.find(text) != std::string::npos;
  });
  Print(held + "\n");
  return found ? kOk : Fail("the dialog's control never held \"%s\"", text);
}

// A dialog's combo box items, one a line.
int DialogItems(const char* caption, const char* idText) {
  long id = 0;
  if (!ParseInt(idText, id)) return Usage();
  HWND dialog = ShownDialog(caption, 5);
  HWND combo = dialog != nullptr ? GetDlgItem(dialog, static_cast<int>(id)) : nullptr;
  if (combo == nullptr) return Fail("no dialog captioned \"%s\" with that list", caption);
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[256] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256) SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    Print(Utf8(item) + "\n");
  }
  return kOk;
}

int Run(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--pocket") == 0) {
    ids = kPocketIds;
    --argc;
    ++argv;
  }
  if (argc < 2) return Usage();
  const std::string action = argv[1];
  const int extra = argc - 2;
  auto args = [&](int n) { return extra == n; };

  if (action == "wait-window" && args(1)) {
    double seconds = 0;
    if (!ParseSeconds(argv[2], seconds)) return Usage();
    // The window can be found while it is still building its pages; it is
    // ready for a person once it is shown, with both pages in it.
    auto ready = [] {
      Monitor built;
      return MainWindow() != nullptr && IsWindowVisible(MainWindow()) && FindMonitor(built, false);
    };
    if (!WaitFor(seconds, ready)) return Fail("no complete monitor window within %s seconds", argv[2]);
    return kOk;
  }
  if (action == "windows" && args(0)) {
    int count = 0;
    EnumWindows(CountMonitor, reinterpret_cast<LPARAM>(&count));
    Print(std::to_string(count) + "\n");
    return kOk;
  }
  if (action == "foreground" && args(0)) {
    HWND main = MainWindow();
    if (main == nullptr) return Fail("no monitor window");
    Print(GetForegroundWindow() == main ? "yes\n" : "no\n");
    return kOk;
  }
  if (action == "close" && (args(0) || args(1))) {
    double seconds = 10;
    if (args(1) && !ParseSeconds(argv[2], seconds)) return Usage();
    HWND main = MainWindow();
    if (main == nullptr) return Fail("no monitor window to close");
    // As the caption's close box does it: the window decides in its own time.
    if (!PostMessageW(main, WM_CLOSE, 0, 0)) return Fail("WM_CLOSE could not be posted");
    if (!WaitFor(seconds, [main] { return IsWindow(main) == 0; })) return Fail("the window is still there");
    return kOk;
  }

  if (action == "ctrl-key" && args(1)) return CtrlKey(argv[2]);
  if (action == "press-ok" && args(2)) {
    double seconds = 0;
    return ParseSeconds(argv[3], seconds) ? PressOk(argv[2], seconds) : Usage();
  }
  if (action == "gdi-census" && args(0)) return GdiCensus();
  if (action == "handle-count" && args(0)) return HandleCount();
  if (action == "work-census" && args(0)) return WorkCensus();
  if (action == "hold-foreground" && args(1)) {
    double seconds = 0;
    if (!ParseSeconds(argv[2], seconds)) return Usage();
    return HoldForeground(seconds);
  }

  Monitor monitor;
  if (action == "select-port" && args(1)) return FindMonitor(monitor) ? Select(monitor, ids.comPort, argv[2]) : kFailed;
  if (action == "select-baud" && args(1)) return FindMonitor(monitor) ? Select(monitor, ids.baudRate, argv[2]) : kFailed;
  if (action == "click" && args(1)) return FindMonitor(monitor) ? Click(monitor, argv[2]) : kFailed;
  if (action == "select" && args(2)) {
    long id = 0;
    if (!ParseInt(argv[2], id)) return Usage();
    return FindMonitor(monitor) ? Select(monitor, static_cast<int>(id), argv[3]) : kFailed;
  }
  // A menu command, as the handheld's Receiver menu sends it to the main window.
  if (action == "command" && args(1)) {
    long id = 0;
    if (!ParseInt(argv[2], id)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    return PostMessageW(monitor.main, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? kOk : Fail("command %s could not be posted", argv[2]);
  }
  if (action == "post-click" && args(1)) {
    HWND button = nullptr;
    long id = 0;
    if (!FindMonitor(monitor) || !SetupControl(monitor, argv[2], button, id)) return kFailed;
    return PostMessageW(button, BM_CLICK, 0, 0) ? kOk : Fail("the click on %s could not be posted", argv[2]);
  }
  if (action == "about" && args(0)) return FindMonitor(monitor) ? OpenAndCloseAbout(monitor) : kFailed;
  if (action == "scan-ok" && args(1)) {
    double seconds = 0;
    if (!ParseSeconds(argv[2], seconds)) return Usage();
    return FindMonitor(monitor) ? PressScanOk(monitor, seconds) : kFailed;
  }
  if ((action == "text" || action == "enabled" || action == "checked") && args(1)) {
    HWND control = nullptr;
    long id = 0;
    if (!FindMonitor(monitor) || !SetupControl(monitor, argv[2], control, id)) return kFailed;
    if (action == "text") {
      Print(Utf8(TextOf(control)) + "\n");
    } else if (action == "enabled") {
      Print(IsWindowEnabled(control) ? "1\n" : "0\n");
    } else {
      Print(Ask(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1\n" : "0\n");
    }
    return kOk;
  }
  if (action == "wait-text" && args(3)) {
    HWND control = nullptr;
    long id = 0;
    double seconds = 0;
    if (!ParseSeconds(argv[4], seconds)) return Usage();
    if (!FindMonitor(monitor) || !SetupControl(monitor, argv[2], control, id)) return kFailed;
    const std::wstring wanted = Wide(argv[3]);
    if (!WaitFor(seconds, [&] { return TextOf(control) == wanted; })) {
      return Fail("the control still reads \"%s\"", Utf8(TextOf(control)).c_str());
    }
    return kOk;
  }
  if (action == "log" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    Print(Utf8(TextOf(GetDlgItem(monitor.setup, ids.log))));
    return kOk;
  }
  if ((action == "wait-log" || action == "watch-log") && args(2)) {
    double seconds = 0;
    if (!ParseSeconds(argv[3], seconds)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    const std::wstring wanted = Wide(argv[2]);
    HWND log = GetDlgItem(monitor.setup, ids.log);
    if (action == "watch-log") {
      TextOf(log);  // the pane answers: what comes from now on is seen
      Print("watching\n");
    }
    std::wstring line;
    auto shown = [&] {
      const std::wstring text = TextOf(log);
      const size_t at = text.rfind(wanted);
      if (at == std::wstring::npos) return false;
      const size_t start = text.rfind(L'\n', at);
      line = text.substr(start == std::wstring::npos ? 0 : start + 1);
      line = line.substr(0, line.find(L'\r'));
      return true;
    };
    if (!WaitFor(seconds, shown)) return Fail("the log pane does not show \"%s\"", argv[2]);
    // The line as it stood: the pane may empty itself before it is read again.
    Print(Utf8(line) + "\n");
    return kOk;
  }
  if (action == "click-until-log" && args(3)) {
    double seconds = 0;
    if (!ParseSeconds(argv[4], seconds)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    HWND log = GetDlgItem(monitor.setup, ids.log);
    const std::wstring wanted = Wide(argv[3]);
    const ULONGLONG began = GetTickCount64();
    if (Click(monitor, argv[2]) != kOk) return kFailed;
    if (!WaitFor(seconds, [&] { return TextOf(log).find(wanted) != std::wstring::npos; })) {
      return Fail("the log pane does not show \"%s\"", argv[3]);
    }
    Print(std::to_string(GetTickCount64() - began) + "\n");
    return kOk;
  }
  if ((action == "tab" || action == "click-tab") && args(1)) {
    return FindMonitor(monitor) ? ChooseTab(monitor, argv[2], action == "click-tab") : kFailed;
  }
  if (action == "page" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    Print(std::string(PageShown(monitor)) + "\n");
    return kOk;
  }
  if (action == "readout" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    // The desktop's page carries its drawn texts as its window text; the
    // handheld's shows them in edit controls.
    if (ids.log == kDesktopIds.log) {
      Print(Utf8(TextOf(monitor.info)) + "\n");
      return kOk;
    }
    std::string joined;
    for (int field = 0; field < trelvane::nmea::kReadoutFieldCount; ++field) {
      if (field > 0) joined += '|';
      joined += Utf8(TextOf(GetDlgItem(monitor.info, trelvane::nmea::ReadoutControlId(static_cast<trelvane::nmea::ReadoutField>(field)))));
    }
    Print(joined + "\n");
    return kOk;
  }
  if (action == "main-text" && args(1)) {
    long id = 0;
    if (!ParseInt(argv[2], id)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    HWND control = GetDlgItem(monitor.main, static_cast<int>(id));
    if (control == nullptr) return Fail("the main window has no control %s", argv[2]);
    Print(Utf8(TextOf(control)) + "\n");
    return kOk;
  }
  if (action == "seek" && args(1)) {
    long permille = 0;
    if (!ParseInt(argv[2], permille)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    HWND bar = GetDlgItem(monitor.main, IDC_PLAY_POSITION);
    if (bar == nullptr) return Fail("no position bar: no file is open");
    SendMessageW(bar, TBM_SETPOS, TRUE, permille);
    const LPARAM from = reinterpret_cast<LPARAM>(bar);
    const bool sent = SendMessageTimeoutW(monitor.main, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, permille), from,
                                          SMTO_ABORTIFHUNG, 5000, nullptr) != 0 &&
                      SendMessageTimeoutW(monitor.main, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), from, SMTO_ABORTIFHUNG,
                                          5000, nullptr) != 0;
    return sent ? kOk : Fail("the seek was not answered within 5 s");
  }
  if (action == "info-text" && args(1)) {
    long id = 0;
    if (!ParseInt(argv[2], id)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    HWND control = GetDlgItem(monitor.info, static_cast<int>(id));
    if (control == nullptr) return Fail("the information page has no control %s", argv[2]);
    Print(Utf8(TextOf(control)) + "\n");
    return kOk;
  }
  if (action == "accuracy-texts" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    std::string texts;
    for (int id = kAccuracyFirstText; id < kAccuracyFirstText + 9; ++id) {
      texts += Utf8(TextOf(GetDlgItem(monitor.accuracy, id))) + "\n";
    }
    Print(texts);
    return kOk;
  }
  if (action == "health-texts" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    // The clock's line and the times to first fix (each may wrap: CR LF
    // inside is printed as " | "), then the table, a row a line.
    std::string texts;
    for (int id : {kHealthTable + 1, kHealthTable + 2, kHealthTable}) {
      std::string text = Utf8(TextOf(GetDlgItem(monitor.health, id)));
      if (id != kHealthTable) {
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, " | ");
      }
      texts += text + "\n";
    }
    Print(texts);
    return kOk;
  }
  if (action == "accuracy-click" && args(1)) {
    long id = 0;
    if (!ParseInt(argv[2], id)) return Usage();
    if (!FindMonitor(monitor)) return kFailed;
    HWND button = GetDlgItem(monitor.accuracy, static_cast<int>(id));
    if (button == nullptr) return Fail("the accuracy page has no control %s", argv[2]);
    bool answered = false;
    Ask(button, BM_CLICK, 0, 0, &answered);
    return answered ? kOk : Fail("the monitor did not take the click on %s in time", argv[2]);
  }
  if (action == "page-rect" && args(0)) return FindMonitor(monitor) ? PageRect(monitor) : kFailed;
  if (action == "open-menu" && args(2)) {
    // As keys would: the menu bar taken, RIGHT to item N, DOWN to open its
    // popup, then RIGHT into the popup's first submenu K times (for a look
    // at the menu, as in a screenshot). Posted: the menu runs modal there.
    const long item = std::strtol(argv[2], nullptr, 10);
    const long into = std::strtol(argv[3], nullptr, 10);
    if (!FindMonitor(monitor)) return kFailed;
    SetForegroundWindow(monitor.main);
    PostMessageW(monitor.main, WM_SYSCOMMAND, SC_KEYMENU, 0);
    auto key = [&monitor](WPARAM vk) {
      Sleep(150);
      PostMessageW(monitor.main, WM_KEYDOWN, vk, 1);
      PostMessageW(monitor.main, WM_KEYUP, vk, (1u << 31) | (1u << 30) | 1);
    };
    for (long i = 0; i < item; ++i) key(VK_RIGHT);
    key(VK_DOWN);
    for (long i = 0; i < into; ++i) key(VK_RIGHT);
    Sleep(300);
    return kOk;
  }
  if (action == "close-menu" && args(0)) {
    // Escape closes one level of an open menu at a time; the last leaves
    // the menu bar.
    if (!FindMonitor(monitor)) return kFailed;
    for (int level = 0; level < 4; ++level) {
      PostMessageW(monitor.main, WM_KEYDOWN, VK_ESCAPE, 1);
      Sleep(100);
    }
    return kOk;
  }
  if (action == "dialog" && extra >= 2) {
    double seconds = 0;
    if (!ParseSeconds(argv[3], seconds)) return Usage();
    return FillDialog(argv[2], seconds, extra - 2, argv + 4);
  }
  if (action == "dialog-text" && args(4)) {
    double seconds = 0;
    if (!ParseSeconds(argv[5], seconds)) return Usage();
    return WaitDialogText(argv[2], argv[3], argv[4], seconds);
  }
  if (action == "dialog-items" && args(2)) return DialogItems(argv[2], argv[3]);
  if (action == "window-rect" && args(0)) {
    if (!FindMonitor(monitor)) return kFailed;
    RECT rect = {};
    if (!GetWindowRect(monitor.main, &rect)) return Fail("cannot read the window's place");
    Print(RectText(rect));
    return kOk;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  // Texts go out byte for byte: the log pane's own CR LF must not become CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  return Run(argc, argv);
}
