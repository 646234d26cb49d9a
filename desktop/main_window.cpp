#include "desktop/main_window.hpp"

#include <commctrl.h>
#include <dbt.h>

#include "link/line_batch.hpp"
#include "link/link_settings.hpp"
#include "link/port_name.hpp"
#include "link/receiver_commands.hpp"
#include "desktop/about_dialog.hpp"
#include "ui/gdi.hpp"
#include "ui/monitor_calls.hpp"
#include "desktop/resource.h"

namespace trelvane::desktop {

int MainWindow::initialising = 0;
unsigned char MainWindow::timerArmed = 0;

namespace {

constexpr int kTitleChars = 512;
constexpr int kWindowWidth = 550;
constexpr int kWindowHeight = 420;
constexpr RECT kPageRect = {5, 5, 525, 350};  // inside the tab control, 520 x 345
constexpr UINT kDeviceTimerMs = 2000;
constexpr DWORD kDeviceSettleMs = 500;
constexpr UINT kHealthSampleMs = 1000;

void PlacePage(HWND page, HWND tabs, int show) {
  SetParent(page, tabs);
  MoveWindow(page, kPageRect.left, kPageRect.top, kPageRect.right - kPageRect.left, kPageRect.bottom - kPageRect.top,
             TRUE);
  ShowWindow(page, show);
}

}  // namespace

void LoadModuleString(int id, char* buffer, int capacity) { ui::LoadModuleText(id, buffer, capacity); }

void DispatchWithAccelerators(MSG& msg, HACCEL accelerators) {
  if (TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

MainWindow::MainWindow()
    : intake_(setupPage.log, infoPage.record, infoPage.satellites, nmea::RepaintCallback{&InfoPage::RequestRepaintOf, &infoPage}) {
  infoPage.intake = &intake_;
}

int MainWindow::Create(int showCommand) {
  HINSTANCE instance = ui::ModuleInstance();
  char className[kTitleChars];
  char title[kTitleChars];
  LoadModuleString(IDS_APP_TITLE, className, kTitleChars);
  LoadModuleString(IDS_APP_TITLE, title, kTitleChars);

  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = ui::ObjectWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRELVANE));
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRELVANE));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MENU);
  windowClass.lpszClassName = className;
  RegisterClassExA(&windowClass);  // a class left by an earlier window is fine

  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr, instance, this);
  if (window == nullptr) return 0;
  // Only now: while WM_CREATE ran, the page had no window to address.
  setupPage.mainWindow = window;
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
      if (LOWORD(wParam) == WA_ACTIVE && initialising == 0) infoPage.RequestRepaint();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);  // the tab control covers the client area
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_WININICHANGE:
      return 0;
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
      KillTimer(hwnd, wParam);
      if (wParam == IDENTIFY_TIMER_ID) return OnReceiverMessage(message, wParam);
      timerArmed = 0;
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange(wParam);
      return TRUE;
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
      return ToggleLink();
    case link::kMsgNmeaLine:
      // The line belongs to the reader, which waits until this returns.
      return TakeLine(reinterpret_cast<const char*>(wParam));
    case link::kMsgNmeaBatch: {
      // So does the batch: its lines are read in place, in order. Answers
      // how many were accepted.
      int accepted = 0;
      link::DeliverBatch(
          *reinterpret_cast<const link::LineBatch<char>*>(wParam),
          [this, &accepted](const char* line) { accepted += TakeLine(line); },
          [this](const char* frame, int length) { ShowReceiver(receiver_.OnFrame(frame, length, setupPage.log)); });
      return accepted;
    }
    case link::kMsgGdiCensus:
      return ui::GdiCensus::Live();
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

LRESULT MainWindow::OnCreate() {
  initialising = 1;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  RECT client = {};
  GetClientRect(hwnd, &client);
  tabControl = CreateWindowExA(0, WC_TABCONTROLA, "Arkive", WS_CHILD | WS_VISIBLE | TCS_BOTTOM, client.left,
                               client.top, client.right, client.bottom, hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TABS)), ui::ModuleInstance(), nullptr);
  if (tabControl == nullptr) return -1;
  ui::InsertTab<char>(tabControl, 0, IDS_TAB_SETUP);
  ui::InsertTab<char>(tabControl, 1, IDS_TAB_INFO);
  infoPage.skyBitmap = LoadBitmapA(ui::ModuleInstance(), MAKEINTRESOURCEA(IDB_SKY));

  if (ui::CreatePage(setupPage, IDD_SETUP, tabControl) == 0) return -1;
  PlacePage(setupPage.hwnd, tabControl, SW_SHOW);
  if (ui::CreatePage(infoPage, IDD_INFO, tabControl) == 0) return -1;
  PlacePage(infoPage.hwnd, tabControl, SW_HIDE);
  initialising = 0;
  return 0;
}

// The pages die with the window; the link is closed before the process ends.
void MainWindow::OnDestroy() {
  KillTimer(hwnd, DEVICE_TIMER_ID);
  KillTimer(hwnd, HEALTH_TIMER_ID);
  timerArmed = 0;
  if (infoPage.skyBitmap != nullptr) {
    DeleteObject(infoPage.skyBitmap);
    infoPage.skyBitmap = nullptr;
  }
  if (link_.IsOpen()) link_.CloseLink();
  PostQuitMessage(0);
}

// A switch made while the window is still being built is taken back.
void MainWindow::OnNotify(WPARAM wParam, const NMHDR* header) {
  if (wParam != IDC_TABS || header == nullptr || header->code != static_cast<UINT>(TCN_SELCHANGE)) return;
  const LRESULT selection = SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0);
  if (selection != 0) {
    if (initialising == 1) {
      SendMessageA(header->hwndFrom, TCM_SETCURSEL, 0, 0);
      return;
    }
    ShowWindow(setupPage.hwnd, SW_HIDE);
    ShowWindow(infoPage.hwnd, SW_SHOW);
    infoPage.RequestRepaint();
  } else {
    if (initialising == 1) {
      SendMessageA(header->hwndFrom, TCM_SETCURSEL, 1, 0);
      return;
    }
    ShowWindow(setupPage.hwnd, SW_SHOW);
    ShowWindow(infoPage.hwnd, SW_HIDE);
  }
}

void MainWindow::OnCommand(int id) {
  if (id == IDM_ABOUT) {
    AboutDialog about;
    ui::RunModal(about, IDD_ABOUT, hwnd);
  } else if (id == IDM_EXIT) {
    if (initialising == 1) return;
    KillTimer(hwnd, DEVICE_TIMER_ID);
    timerArmed = 0;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
  }
}

// A plugged-in device may be a receiver whose driver needs a moment; the
// half-second pause and the one timer at a time are kept as they always were.
void MainWindow::OnDeviceChange(WPARAM event) {
  if (event != DBT_DEVICEARRIVAL || initialising == 1) return;
  Sleep(kDeviceSettleMs);
  if (timerArmed == 0) {
    timerArmed = 1;
    SetTimer(hwnd, DEVICE_TIMER_ID, kDeviceTimerMs, nullptr);
  }
}

// Opens the port selected on the Setup page at the selected rate, or closes
// the open link. Only selected list items count, not text typed into a
// combo's edit field. The answer is 1 when the port was opened or closed.
LRESULT MainWindow::ToggleLink() {
  HWND page = setupPage.hwnd;
  HWND startButton = GetDlgItem(page, IDC_START_GPS);
  EnableWindow(startButton, FALSE);
  LRESULT result = 0;
  if (link_.IsOpen()) {
    link_.CloseLink();
    KillTimer(hwnd, HEALTH_TIMER_ID);
    health_.Close();
    ShowHealth();
    infoPage.OnLinkClosed();  // the page greys what it shows
    setupPage.gpsRunning = 0;
    result = 1;
  } else if (setupPage.portTable.portCount > 0) {
    const LRESULT baud = SendDlgItemMessageA(page, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0);
    char item[link::kItemTextChars];
    char name[link::kItemTextChars];
    if (ui::SelectedItemText(GetDlgItem(page, IDC_COM_PORT), item) && baud != CB_ERR) {
      link::CutPortName(item, name, link::kItemTextChars);
      if (link_.OpenLink(hwnd, name, static_cast<int>(baud)) == 1) {
        // Another receiver may be behind the port now: it shows all systems
        // again only once it has sent a talker other than GP.
        intake_.ResetTalkers();
        infoPage.OnLinkOpened();  // the page counts silence from here
        infoPage.RequestRepaint();
        health_.Open(GetTickCount());
        ShowHealth();
        SetTimer(hwnd, HEALTH_TIMER_ID, kHealthSampleMs, nullptr);
        setupPage.gpsRunning = 1;
        ShowReceiver(receiver_.Forget());
        result = 1;
      }
    }
  }
  EnableWindow(startButton, TRUE);
  return result;
}

// The timer runs only while the link is open, so a closed monitor stays idle.
void MainWindow::SampleHealth() {
  const link::LinkCounts counts = link_.Counts();
  health_.Sample(GetTickCount(), counts.bytes, counts.linesCut);
  ShowHealth();
}

void MainWindow::ShowHealth() {
  char state[96];
  char counts[96];
  health_.StateText(state, sizeof state);
  health_.CountsText(counts, sizeof counts);
  setupPage.ShowLinkHealth(state, counts);
}

// The seven commands in the family in force, the family list, Identify and
// the end of its listening time.
LRESULT MainWindow::OnReceiverMessage(UINT message, WPARAM wParam) {
  LRESULT result = 1;
  if (message == link::kMsgChooseFamily) {
    ShowReceiver(receiver_.Choose(static_cast<int>(wParam)));
  } else if (message == link::kMsgIdentify) {
    receiver_.StartIdentify(setupPage.log, link_);
    SetTimer(hwnd, IDENTIFY_TIMER_ID, link::kIdentifyListenMs, nullptr);
  } else if (message == WM_TIMER) {
    ShowReceiver(receiver_.EndIdentify(setupPage.log));
  } else {
    // The echo keeps its place among the sentences, and shows at once.
    result = link::SendFamilyCommand(receiver_.InForce(), message, link::EchoStyle::kDesktop, setupPage.log, link_);
  }
  setupPage.log.Flush();
  return result;
}

void MainWindow::ShowReceiver(unsigned change) {
  if ((change & link::ReceiverSession<char>::kNameChanged) != 0) setupPage.ShowReceiverName(receiver_.Name());
  if ((change & link::ReceiverSession<char>::kFamilyChanged) != 0) setupPage.ApplyFamily(receiver_.InForce());
}

// Every line the reader delivers, alone or in a batch: the receiver's family
// is read from it, the intake checks and decodes it, and an accepted one
// starts the information page's age again; the result counts for the link's
// health.
int MainWindow::TakeLine(const char* line) {
  ShowReceiver(receiver_.OnLine(line));
  const int accepted = intake_.HandleSentence(line);
  if (accepted != 0) infoPage.OnSentenceAccepted();
  accepted == 1 ? health_.CountAccepted() : health_.CountRejected();
  return accepted;
}

}  // namespace trelvane::desktop
