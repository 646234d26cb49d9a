#include "pocket/main_window.hpp"

#include <commctrl.h>
#include <tlhelp32.h>

#include "link/line_batch.hpp"
#include "link/link_settings.hpp"
#include "link/port_name.hpp"
#include "link/receiver_commands.hpp"
#include "nmea/text.hpp"
#include "ui/gdi.hpp"
#include "ui/monitor_calls.hpp"
#include "pocket/about_dialog.hpp"
#include "ce/device.hpp"
#include "ce/dialog_template.hpp"
#include "ce/shell.hpp"
#include "pocket/resource.h"

namespace trelvane::pocket {

int MainWindow::initialising = 0;

namespace {

constexpr int kTitleChars = 512;

// The page's template as the handheld lays it out (its font), then the page.
int CreateHandheldPage(ui::WindowObject& page, int templateId, HWND parent) {
  ce::DialogTemplate dialog;
  if (!dialog.Load(ui::ModuleInstance(), templateId)) return 0;
  return ui::CreatePageWide(page, dialog.get(), parent);
}

void PlacePage(HWND page, int show) {
  MoveWindow(page, 0, 0, kPageWidth, kPageHeight, TRUE);
  ShowWindow(page, show);
}

}  // namespace

bool BlockingProcessRuns() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
    entry.szExeFile[MAX_PATH - 1] = 0;
    found = TextEquals(entry.szExeFile, kBlockingProcess);
  }
  ce::CloseToolhelp32Snapshot(snapshot);
  return found;
}

void DispatchWithAccelerators(MSG& msg, HACCEL accelerators) {
  if (TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

MainWindow::MainWindow()
    : intake_(setupPage.log, infoPage, infoPage.satellites, nmea::RepaintCallback{&InfoPage::RequestRepaintOf, &infoPage}) {
  infoPage.intake = &intake_;
}

int MainWindow::InitInstance(HINSTANCE instance, int showCommand) {
  if (BlockingProcessRuns()) return 0;
  ui::SetModuleInstance(instance);
  wchar_t className[kTitleChars];
  wchar_t title[kTitleChars];
  ui::LoadModuleText(IDS_APP_TITLE, className, kTitleChars);
  ui::LoadModuleText(IDS_APP_TITLE, title, kTitleChars);
  if (HWND running = FindWindowW(className, title)) {
    // The low bit asks for the window's owned windows (an open About box) too.
    ce::BringToForeground(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(running) | 1));
    return 0;
  }

  WNDCLASSW windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = ui::ObjectWindowProcWide;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TRELVANE));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);  // a class left by an earlier window is fine

  HWND window = ce::CreateTopLevel(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (window == nullptr) return 0;
  // Only now: while WM_CREATE ran, the page had no window to address.
  setupPage.mainWindow = window;
  RECT frame = {};
  GetWindowRect(window, &frame);

  ce::MenuBarInfo bar = {};
  bar.cbSize = sizeof bar;
  bar.hwndParent = window;
  bar.nToolBarId = IDR_MENU_BAR;
  bar.hInstRes = instance;
  if (ce::SHCreateMenuBar(&bar)) {
    menuBar = bar.hwndMB;
    MoveWindow(window, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top - ce::kMenuBarHeight, FALSE);
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return 1;
}

LRESULT MainWindow::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_ACTIVATE:
      OnActivate(wParam);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);  // the tab control covers the client area
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_SETTINGCHANGE: {
      ce::ActivateInfo activation = {};
      activation.cbSize = sizeof activation;
      ce::SHHandleWMSettingChange(hwnd, wParam, lParam, &activation);
      return 0;
    }
    case WM_NOTIFY:
      OnNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_HELP:
      ui::StartHelpViewer();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == HEALTH_TIMER_ID) {
        SampleHealth();
        return 0;
      }
      if (wParam == IDENTIFY_TIMER_ID) {
        KillTimer(hwnd, IDENTIFY_TIMER_ID);
        return OnReceiverMessage(message, wParam);
      }
      KeepAwake();
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange();
      return 1;
    case link::kMsgPowerSaveOn:
    case link::kMsgPowerSaveOff:
    case link::kMsgWaasOn:
    case link::kMsgWaasOff:
    case link::kMsgVtgOn:
    case link::kMsgVtgOff:
    case link::kMsgColdStart:
    case link::kMsgChooseFamily:
    case link::kMsgIdentify:
      return OnReceiverMessage(message, wParam);
    case link::kMsgToggleGps:
      ToggleLink();
      return 0;  // the page posted its request and never reads an answer
    case link::kMsgNmeaLine:
      // The line belongs to the reader, which waits until this returns.
      return TakeLine(reinterpret_cast<const wchar_t*>(wParam));
    case link::kMsgNmeaBatch: {
      // So does the batch: its lines are read in place, in order. Answers
      // how many were accepted.
      int accepted = 0;
      link::DeliverBatch(
          *reinterpret_cast<const link::LineBatch<wchar_t>*>(wParam),
          [this, &accepted](const wchar_t* line) { accepted += TakeLine(line); },
          [this](const wchar_t* frame, int length) { ShowReceiver(receiver_.OnFrame(frame, length, setupPage.log)); });
      return accepted;
    }
    case link::kMsgGdiCensus:
      return ui::GdiCensus::Live();
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

// The tab control leaves a band of the menu bar's height free at the bottom:
// the window is created as tall as the work area and only afterwards
// shortened by that height for the bar.
LRESULT MainWindow::OnCreate() {
  initialising = 1;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  RECT client = {};
  GetClientRect(hwnd, &client);
  tabControl = CreateWindowExW(0, WC_TABCONTROLW, L"Arkive", WS_CHILD | WS_VISIBLE | TCS_BOTTOM, client.left,
                               client.top, client.right, client.bottom - ce::kMenuBarHeight, hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TABS)), ui::ModuleInstance(), nullptr);
  if (tabControl == nullptr) return -1;
  ui::InsertTab<wchar_t>(tabControl, 0, IDS_TAB_SETUP);
  ui::InsertTab<wchar_t>(tabControl, 1, IDS_TAB_INFO);
  infoPage.skyBitmap = LoadBitmapW(ui::ModuleInstance(), MAKEINTRESOURCEW(IDB_SKY));
  if (infoPage.skyBitmap == nullptr) MessageBoxW(hwnd, L"!", L"!", MB_OK);

  if (CreateHandheldPage(setupPage, IDD_SETUP, tabControl) == 0) return -1;
  PlacePage(setupPage.hwnd, SW_SHOW);
  if (CreateHandheldPage(infoPage, IDD_INFO, tabControl) == 0) return -1;
  PlacePage(infoPage.hwnd, SW_HIDE);
  SetTimer(hwnd, KEEP_AWAKE_TIMER_ID, kKeepAwakeMs, nullptr);
  initialising = 0;
  return 0;
}

// The pages die with the window; the link is closed before the process ends.
void MainWindow::OnDestroy() {
  KillTimer(hwnd, HEALTH_TIMER_ID);
  if (infoPage.skyBitmap != nullptr) {
    DeleteObject(infoPage.skyBitmap);
    infoPage.skyBitmap = nullptr;
  }
  if (link_.IsOpen()) link_.CloseLink();
  PostQuitMessage(0);
}

// A port plugged in while the program was in the background shows up when
// it comes back; a click into the window is no such return.
void MainWindow::OnActivate(WPARAM wParam) {
  if (LOWORD(wParam) != WA_ACTIVE || initialising != 0) return;
  const LRESULT tab = SendMessageW(tabControl, TCM_GETCURSEL, 0, 0);
  setupPage.RescanPorts();
  infoPage.RequestRepaint();
  if (tab == 0) setupPage.RefillPortList();
}

// A switch made while the window is still being built is taken back.
void MainWindow::OnNotify(WPARAM wParam, const NMHDR* header) {
  if (wParam != IDC_TABS || header == nullptr || header->code != static_cast<UINT>(TCN_SELCHANGE)) return;
  const LRESULT selection = SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0);
  if (selection != 0) {
    if (initialising == 1) {
      SendMessageW(header->hwndFrom, TCM_SETCURSEL, 0, 0);
      return;
    }
    ShowWindow(setupPage.hwnd, SW_HIDE);
    ShowWindow(infoPage.hwnd, SW_SHOW);
  } else {
    if (initialising == 1) {
      SendMessageW(header->hwndFrom, TCM_SETCURSEL, 1, 0);
      return;
    }
    ShowWindow(setupPage.hwnd, SW_SHOW);
    ShowWindow(infoPage.hwnd, SW_HIDE);
    setupPage.RefillPortList();
  }
}

void MainWindow::OnCommand(int id) {
  if (id == IDM_ABOUT) {
    AboutDialog about;
    ce::DialogTemplate dialog;
    if (dialog.Load(ui::ModuleInstance(), IDD_ABOUT)) ui::RunModalWide(about, dialog.get(), hwnd);
  } else if (id == IDM_RECEIVER) {
    ShowReceiverMenu();
  } else if (id >= IDM_FAMILY_FIRST && id <= IDM_FAMILY_LAST) {
    OnReceiverMessage(link::kMsgChooseFamily, static_cast<WPARAM>(id - IDM_FAMILY_FIRST));
  } else if (id == IDM_IDENTIFY) {
    OnReceiverMessage(link::kMsgIdentify, 0);
  } else if (id == IDM_EXIT) {
    if (initialising == 1) return;
    KillTimer(hwnd, KEEP_AWAKE_TIMER_ID);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
  }
}

// Whatever the event: a card or cable plugged in or pulled out changes the
// active drivers. Their registry entries need a moment to settle.
void MainWindow::OnDeviceChange() {
  if (initialising != 0) return;
  Sleep(kDeviceSettleMs);
  setupPage.RescanPorts();
  infoPage.RequestRepaint();
}

// Counts as user activity, so the display neither dims nor sleeps while the
// monitor runs, with or without a port open.
void MainWindow::KeepAwake() {
  ce::KeyEvent(0, 0, ce::kKeyEventSilent, 0);
  ce::KeyEvent(0, 0, KEYEVENTF_KEYUP | ce::kKeyEventSilent, 0);
  SetTimer(hwnd, KEEP_AWAKE_TIMER_ID, kKeepAwakeMs, nullptr);
}

// Opens the port selected on the Setup page at the selected rate, or closes
// the open link. Only a selected list item counts: an empty list or no
// selection opens nothing and leaves the saved port as it was.
void MainWindow::ToggleLink() {
  if (link_.IsOpen()) {
    link_.CloseLink();
    KillTimer(hwnd, HEALTH_TIMER_ID);
    health_.Close();
    ShowHealth();
    infoPage.OnLinkClosed();  // the page greys what it shows
    setupPage.gpsRunning = 0;
    return;
  }
  const LRESULT baud = SendDlgItemMessageW(setupPage.hwnd, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0);
  wchar_t item[link::kItemTextChars];
  if (!ui::SelectedItemText(GetDlgItem(setupPage.hwnd, IDC_COM_PORT), item) || baud == CB_ERR) return;
  wchar_t name[link::kItemTextChars];
  link::CutPortName(item, name, link::kItemTextChars);
  if (link_.OpenLink(hwnd, name, static_cast<int>(baud)) == 1) {
    setupPage.gpsRunning = 1;
    // Another receiver may be behind the port now: it shows all systems
    // again only once it has sent a talker other than GP.
    intake_.ResetTalkers();
    infoPage.OnLinkOpened();  // the page counts silence from here
    infoPage.RequestRepaint();
    health_.Open(GetTickCount());
    ShowHealth();
    SetTimer(hwnd, HEALTH_TIMER_ID, kHealthSampleMs, nullptr);
    ShowReceiver(receiver_.Forget());
  }
}

// The timer runs only while the link is open, so a closed monitor stays idle.
void MainWindow::SampleHealth() {
  const link::LinkCounts counts = link_.Counts();
  health_.Sample(GetTickCount(), counts.bytes, counts.linesCut);
  ShowHealth();
}

// The handheld shows the state only; its page has no room for the counts.
void MainWindow::ShowHealth() {
  wchar_t state[64];
  health_.StateText(state, 64);
  setupPage.ShowLinkState(state);
}

// The seven commands in the family in force, the family chosen from the
// Receiver menu, Identify and the end of its listening time.
LRESULT MainWindow::OnReceiverMessage(UINT message, WPARAM wParam) {
  LRESULT result = 1;
  if (message == link::kMsgChooseFamily) {
    ShowReceiver(receiver_.Choose(static_cast<int>(wParam)));
  } else if (message == link::kMsgIdentify) {
    receiver_.StartIdentify(setupPage.log, link_);
    SetTimer(hwnd, IDENTIFY_TIMER_ID, link::kIdentifyListenMs, nullptr);
  } else if (message == WM_TIMER) {
    // The end of Identify logs the name itself.
    ShowReceiver(receiver_.EndIdentify(setupPage.log) & ~link::ReceiverSession<wchar_t>::kNameChanged);
  } else {
    // The echo keeps its place among the sentences, and shows at once.
    result = link::SendFamilyCommand(receiver_.InForce(), message, link::EchoStyle::kHandheld, setupPage.log, link_);
  }
  setupPage.log.Flush();
  return result;
}

// The pages have no room for the name: it goes into the log as a line.
void MainWindow::ShowReceiver(unsigned change) {
  if ((change & link::ReceiverSession<wchar_t>::kNameChanged) != 0 && receiver_.Name()[0] != 0) {
    receiver_.LogName(setupPage.log);
  }
  if ((change & link::ReceiverSession<wchar_t>::kFamilyChanged) != 0) setupPage.ApplyFamily(receiver_.InForce());
}

// The Receiver menu above the menu bar: the family list's items, the chosen
// one checked (and under "Auto" the recognised one too), then Identify,
// which needs an open link.
void MainWindow::ShowReceiverMenu() {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  const int chosen = static_cast<int>(receiver_.Chosen());
  const int inForce = static_cast<int>(receiver_.InForce());
  for (int i = 0; i < link::kFamilyCount; ++i) {
    wchar_t item[32] = {};
    for (int n = 0; link::kFamilyItems[i][n] != 0 && n < 31; ++n) item[n] = static_cast<wchar_t>(link::kFamilyItems[i][n]);
    const UINT checked = (i == chosen || (chosen == 0 && i == inForce)) ? MF_CHECKED : MF_UNCHECKED;
    AppendMenuW(menu, MF_STRING | checked, IDM_FAMILY_FIRST + i, item);
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | (link_.IsOpen() ? MF_ENABLED : MF_GRAYED), IDM_IDENTIFY, L"Identify");
  // Above the Receiver button, or above the bar's place when there is none.
  RECT button = {0, ce::kScreenHeight - ce::kMenuBarHeight, ce::kScreenWidth, ce::kScreenHeight};
  HWND receiverButton = menuBar != nullptr ? GetDlgItem(menuBar, IDM_RECEIVER) : nullptr;
  if (receiverButton != nullptr) GetWindowRect(receiverButton, &button);
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, button.left, button.top, 0, hwnd, nullptr);
  DestroyMenu(menu);
}

// Every line the reader delivers, alone or in a batch: the receiver's family
// is read from it, the intake checks and decodes it, and an accepted one
// starts the information page's age again; the result counts for the link's
// health.
int MainWindow::TakeLine(const wchar_t* line) {
  ShowReceiver(receiver_.OnLine(line));
  const int accepted = intake_.HandleSentence(line);
  if (accepted != 0) infoPage.OnSentenceAccepted();
  accepted == 1 ? health_.CountAccepted() : health_.CountRejected();
  return accepted;
}

}  // namespace trelvane::pocket
