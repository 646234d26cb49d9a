#include "pocket/main_window.hpp"

#include <commctrl.h>
#include <tlhelp32.h>

#include <chrono>

#include "link/line_batch.hpp"
#include "link/port_name.hpp"
#include "receiver/link_settings.hpp"
#include "receiver/receiver_commands.hpp"
#include "nmea/text.hpp"
#include "ui/file_calls.hpp"
#include "handles/gdi.hpp"
#include "ui/menu_entries.hpp"
#include "ui/rate_following.hpp"
#include "monitor/rate_menu.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/network_dialog.hpp"
#include "pocket/about_dialog.hpp"
#include "ce/device.hpp"
#include "ce/dialog_template.hpp"
#include "ce/shell.hpp"
#include "pocket/resource.h"
#include "ui/work_census.hpp"
#include "ui/dpi.hpp"

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
  const UINT dpi = ui::WindowDpi(page);
  MoveWindow(page, 0, 0, ui::Scaled(kPageWidth, dpi), ui::Scaled(kPageHeight, dpi), TRUE);
  ShowWindow(page, show);
}

}  // namespace

bool BlockingProcessRuns() {
  const ce::OwnedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more && !found; more = Process32NextW(snapshot.Get(), &entry)) {
    entry.szExeFile[MAX_PATH - 1] = 0;
    found = nmea::TextEquals(entry.szExeFile, kBlockingProcess);
  }
  return found;
}

void DispatchWithAccelerators(MSG& msg, HACCEL accelerators) {
  if (TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

MainWindow::MainWindow() { infoPage.intake = &session_.Intake(); }

int MainWindow::InitInstance(HINSTANCE instance, int showCommand, const wchar_t* file) {
  if (BlockingProcessRuns()) return 0;
  ui::SetModuleInstance(instance);
  wchar_t className[kTitleChars];
  wchar_t title[kTitleChars];
  ui::LoadModuleText(IDS_APP_TITLE, className, kTitleChars);
  ui::LoadModuleText(IDS_APP_TITLE, title, kTitleChars);
  if (HWND running = FindWindowW(className, title)) {
    // The low bit asks for the window's owned windows (an open About box) too.
    ce::BringToForeground(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(running) | 1));
    if (file != nullptr) ui::HandOverFile(running, file);
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
               frame.bottom - frame.top - ce::ScreenPixels(ce::kMenuBarHeight), FALSE);
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  if (file != nullptr) OpenSource(file);
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
    case WM_PAINT:
      handles::PaintScope{hwnd};  // validates only: the tab control covers the client area
      return 0;
    case WM_SETTINGCHANGE:
      OnSettingChange(wParam, lParam);
      return 0;
    case WM_NOTIFY:
      OnNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_DEVICECHANGE:
      OnDeviceChange();
      return 1;
    case receiver::kMsgToggleGps:
      ToggleLink();
      return 0;  // the page posted its request and never reads an answer
    case receiver::kMsgNmeaBatch:  // the batch belongs to the reader, which waits until this returns
      return OnBatch(*reinterpret_cast<const link::LineBatch<wchar_t>*>(wParam));
    default:
      return OnOtherMessage(message, wParam, lParam);
  }
}

// Help, the receiver's requests, the paint helpers' census, or the default.
LRESULT MainWindow::OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HELP) {
    ui::StartHelpViewer();
    return 0;
  }
  if (message == receiver::kMsgGdiCensus) return handles::GdiCensus::Live();
  if (message == ui::kMsgWorkCensus) return static_cast<LRESULT>(ui::WorkCensus::Read(static_cast<unsigned>(wParam)));
  if (message == recording::kMsgRecordingStopped) {
    StopRecording();
    return 0;
  }
  if (message == net::kMsgCorrections) {
    Show(corrections_.TakeLog(session_));
    return 0;
  }
  if (message == net::kMsgNetworkNote) {
    char note[net::kNetworkNoteChars];
    wchar_t wide[net::kNetworkNoteChars];
    while (link_.TakeNetworkNote(note, sizeof note)) {
      int n = 0;
      for (; note[n] != '\0'; ++n) wide[n] = static_cast<wchar_t>(static_cast<unsigned char>(note[n]));
      wide[n] = L'\0';
      Show(session_.Note(wide));
    }
    return 0;
  }
  if (message == WM_COPYDATA) {
    wchar_t path[ui::kPathChars];
    if (!ui::HandedOverFile(reinterpret_cast<const COPYDATASTRUCT*>(lParam), path)) return FALSE;
    OpenSource(path);
    return TRUE;
  }
  if (receiver::IsReceiverMessage(message)) return OnReceiverMessage(message, wParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A batch's lines are read in place, in order: answers how many were accepted.
LRESULT MainWindow::OnBatch(const link::LineBatch<wchar_t>& batch) {
  int accepted = 0;
  session_.ClockReading(ui::PcUtcMs());
  Show(session_.TakeBatch(batch, GetTickCount(), accepted));
  corrections_.AfterLines(session_);
  return accepted;
}

void MainWindow::OnSettingChange(WPARAM wParam, LPARAM lParam) {
  ce::ActivateInfo activation = {};
  activation.cbSize = sizeof activation;
  ce::SHHandleWMSettingChange(hwnd, wParam, lParam, &activation);
}

// The tab control leaves a band of the menu bar's height free at the bottom:
// the window is created as tall as the work area and only afterwards
// shortened by that height for the bar.
LRESULT MainWindow::OnCreate() {
  initialising = 1;
  tabControl = ui::CreateTabs<wchar_t>(hwnd, IDC_TABS, ce::ScreenPixels(ce::kMenuBarHeight), {IDS_TAB_SETUP, IDS_TAB_INFO, IDS_TAB_ACCURACY, IDS_TAB_CHARTS, IDS_TAB_HEALTH});
  if (tabControl == nullptr) return -1;
  infoPage.skyBitmap.Reset(LoadBitmapW(ui::ModuleInstance(), MAKEINTRESOURCEW(IDB_SKY)));
  if (infoPage.skyBitmap.get() == nullptr) MessageBoxW(hwnd, L"!", L"!", MB_OK);

  if (CreateHandheldPage(setupPage, IDD_SETUP, tabControl) == 0) return -1;
  PlacePage(setupPage.hwnd, SW_SHOW);
  if (CreateHandheldPage(infoPage, IDD_INFO, tabControl) == 0) return -1;
  PlacePage(infoPage.hwnd, SW_HIDE);
  accuracyPage.mainWindow = hwnd;
  if (CreateHandheldPage(accuracyPage, IDD_ACCURACY, tabControl) == 0) return -1;
  PlacePage(accuracyPage.hwnd, SW_HIDE);
  if (CreateHandheldPage(chartsPage, IDD_CHARTS, tabControl) == 0) return -1;
  PlacePage(chartsPage.hwnd, SW_HIDE);
  session_.KeepHistory(&liveHistory_);
  if (CreateHandheldPage(healthPage, IDD_HEALTH, tabControl) == 0) return -1;
  PlacePage(healthPage.hwnd, SW_HIDE);
  Show(session_.UpdateFigures());
  SetTimer(hwnd, KEEP_AWAKE_TIMER_ID, kKeepAwakeMs, nullptr);
  initialising = 0;
  return 0;
}

// The pages die with the window; the link is closed before the process ends.
void MainWindow::OnDestroy() {
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, PLAYBACK_TIMER_ID);
  infoPage.skyBitmap.Reset();
  corrections_.Stop(session_);  // they write into the link
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

// A switch made while the window is still being built is taken back. The
// Setup page's port list shows the ports as they are now.
void MainWindow::OnNotify(WPARAM wParam, const NMHDR* header) {
  const HWND pages[] = {setupPage.hwnd, infoPage.hwnd, accuracyPage.hwnd, chartsPage.hwnd, healthPage.hwnd};
  const int shown = ui::SwitchPages<wchar_t>(wParam, header, IDC_TABS, initialising, pages);
  if (shown == 0) setupPage.RefillPortList();
  if (shown == 2) accuracyPage.RequestRepaint();
  if (shown == 3) {
    chartsPage.Refresh();
    ShowCharts();
  }
  if (shown == 4) {
    healthPage.Refresh();
    ui::ShowHealth(healthPage, session_, GetTickCount());
  }
}

void MainWindow::OnCommand(int id) {
  if (id == IDM_ABOUT) {
    AboutDialog about;
    ce::DialogTemplate dialog;
    if (dialog.Load(ui::ModuleInstance(), IDD_ABOUT)) ui::RunModalWide(about, dialog.get(), hwnd);
  } else if (id == IDM_RECEIVER) {
    ShowReceiverMenu();
  } else if (id == IDM_FILE) {
    ShowFileMenu();
  } else if ((id >= IDM_RECORD && id <= IDM_STOP_PLAYING) || id == IDM_OPEN_NETWORK || id == IDM_CLOSE_NETWORK ||
             id == IDM_EXPORT_TRACK) {
    OnFileCommand(id);
  } else if (id >= IDM_FAMILY_FIRST && id <= IDM_FAMILY_LAST) {
    Show(session_.Choose(id - IDM_FAMILY_FIRST));
  } else if (id == IDM_IDENTIFY) {
    OnReceiverMessage(receiver::kMsgIdentify, 0);
  } else if (monitor::IsRateItem(static_cast<unsigned>(id))) {
    OnRateItem(id);
  } else if (id == IDM_CORRECTIONS) {
    auto runDialog = [this](ui::WindowObject& dialog) {
      ce::DialogTemplate layout;
      return layout.Load(ui::ModuleInstance(), IDD_CORRECTIONS) ? ui::RunModalWide(dialog, layout.get(), hwnd) : -1;
    };
    if (link_.Writable() && !playback_.IsOpen()) Show(corrections_.Start(hwnd, runDialog, link_, playback_, session_));
  } else if (id == IDM_STOP_CORRECTIONS) {
    Show(corrections_.Stop(session_));
  } else if (id == ui::kAccuracyReset) {
    Show(session_.ResetFixes());
  } else if (id == ui::kAccuracyHoldCentre) {
    Show(session_.HoldCentre(accuracyPage.CentreHeld()));
  } else if (id == IDM_EXIT) {
    if (initialising == 1) return;
    KillTimer(hwnd, KEEP_AWAKE_TIMER_ID);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
  }
}

// menu's family choice comes as a command of its own).
LRESULT MainWindow::OnReceiverMessage(UINT message, WPARAM wParam) {
  int result = 1;
  Show(session_.Request(message, static_cast<int>(wParam), link_, result, GetTickCount()));
  return result;
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

// The one-second tick while the link is open (so a closed monitor stays
// idle), Identify's listening time, and the keep-awake timer.
void MainWindow::OnTimer(WPARAM id) {
  ui::WorkCensus::Count(ui::Work::kTimers);
  if (id == HEALTH_TIMER_ID) {
    Show(session_.Tick(GetTickCount(), playback_.IsOpen() ? playback_.Counts() : link_.Counts()));
    corrections_.Tick(session_, GetTickCount());
    ShowCharts();
  } else if (id == RATE_TIMER_ID) {
    Show(session_.FollowRate(GetTickCount()));
  } else if (id == AGE_TIMER_ID) {
    Show(session_.AgeTick(GetTickCount()));
  } else if (id == CHARTS_TIMER_ID) {
    if (historyShadow_.More(std::chrono::milliseconds(10))) ShowCharts();
    if (!historyShadow_.Reading()) KillTimer(hwnd, CHARTS_TIMER_ID);
  } else if (id == EXPORT_TIMER_ID) {
    ExportSlice();
  } else if (id == PLAYBACK_TIMER_ID) {
    Show(playback_.Pump(GetTickCount()));
    FollowPlayback();
  } else if (id == IDENTIFY_TIMER_ID) {
    KillTimer(hwnd, IDENTIFY_TIMER_ID);
    Show(session_.EndIdentify());
  } else {
    KeepAwake();
  }
}

void MainWindow::ShowLinkClosed(bool network) {
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, RATE_TIMER_ID);
  KillTimer(hwnd, AGE_TIMER_ID);
  setupPage.gpsRunning = 0;
  if (network) setupPage.ShowNetwork(nullptr, true);
  setupPage.ShowLinkClosed();  // also when playing a file closed the link
}

void MainWindow::OpenSource(const wchar_t* text) { linkRun_.OpenSource(hwnd, text); }

// A link like a port's: the same reader core, health and Record; the
// address stands in the port list, and Start GPS is grey until File >
// Close Network Receiver.
void MainWindow::ShowNetworkOpened(const wchar_t* address) {
  setupPage.gpsRunning = 1;
  setupPage.ShowNetwork(address, link_.Writable());
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  portBaud_ = 0;
}

// Opens the port selected on the Setup page at the selected rate, or closes
// the open link. Only a selected list item counts: an empty list or no
// selection opens nothing and leaves the saved port as it was.
void MainWindow::ToggleLink() {
  if (playback_.IsOpen() || link_.IsNetwork()) return;  // Start GPS is grey then
  if (link_.IsOpen()) {
    linkRun_.Close();
    return;
  }
  wchar_t item[link::kItemTextChars];
  wchar_t name[link::kItemTextChars];
  int rate = 0;
  if (!ui::SelectedPortAndRate(setupPage.hwnd, IDC_COM_PORT, IDC_BAUD_RATE, item, rate)) return;
  link::CutPortName(item, name, link::kItemTextChars);
  if (link_.OpenLink(hwnd, name, rate, &recorder_) != 1) return;
  setupPage.gpsRunning = 1;
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  portBaud_ = receiver::BaudRateAt(rate);
  Show(session_.LinkOpened(GetTickCount(), portBaud_));
}

// The seven commands in the family in force and Identify (the Receiver
// Updates what the session says changed. The handheld shows the link's
// state only (its page has no room for the counts), and the receiver's name
// goes into the log, where the session puts it.
unsigned MainWindow::Show(unsigned change) {
  if ((change & monitor::kAccuracy) != 0) {
    accuracyPage.Show(session_.Scatter(accuracyPage.PlotSize(), accuracyPage.Dot()));
  }
  if ((change & monitor::kAge) != 0) {
    accuracyPage.SetStale(infoPage.age.Grey());
    infoPage.AgeChanged();
  } else if ((change & monitor::kPage) != 0) {
    infoPage.RequestRepaint();
  }
  if ((change & monitor::kLogNow) != 0) setupPage.log.Flush();
  if ((change & (monitor::kHealth | monitor::kAccuracy)) != 0) ui::ShowHealth(healthPage, session_, GetTickCount());
  if ((change & monitor::kListen) != 0) SetTimer(hwnd, IDENTIFY_TIMER_ID, receiver::kIdentifyListenMs, nullptr);
  if ((change & monitor::kHealth) != 0 && !playback_.IsOpen()) {
    wchar_t state[64];
    session_.HealthState(state, 64);
    setupPage.ShowLinkState(state);
  }
  if ((change & monitor::kFamily) != 0) setupPage.ApplyFamily(session_.InForce());
  if ((change & (monitor::kRate | monitor::kPace)) != 0) {
    ui::FollowSessionRate<wchar_t>(hwnd, {RATE_TIMER_ID, AGE_TIMER_ID}, (change & monitor::kRate) != 0,
                                   (change & monitor::kPace) != 0, session_, link_, portBaud_, setupPage.hwnd,
                                   IDC_BAUD_RATE);
  }
  return change;
}

void MainWindow::OnRateItem(int id) {
  int result = 0;
  Show(session_.RateItem(static_cast<unsigned>(id), link_.IsOpen() && !playback_.IsOpen(), link_, GetTickCount(),
                         result));
}

// The Receiver menu above the menu bar: the family list's items, the chosen
// one checked (and under "Auto" the recognised one too), then Identify,
// which needs an open link, then the port rate, fix rate and save items.
void MainWindow::ShowReceiverMenu() {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  const int chosen = static_cast<int>(session_.Chosen());
  const int inForce = static_cast<int>(session_.InForce());
  for (int i = 0; i < receiver::kFamilyCount; ++i) {
    wchar_t item[32] = {};
    for (int n = 0; receiver::kFamilyItems[i][n] != 0 && n < 31; ++n) item[n] = static_cast<wchar_t>(receiver::kFamilyItems[i][n]);
    const UINT checked = (i == chosen || (chosen == 0 && i == inForce)) ? MF_CHECKED : MF_UNCHECKED;
    AppendMenuW(menu, MF_STRING | checked, IDM_FAMILY_FIRST + i, item);
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | (link_.Writable() ? MF_ENABLED : MF_GRAYED), IDM_IDENTIFY, L"Identify");
  // The receiver's rates and their save, below their own separator.
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  monitor::MenuEntry entries[monitor::kRateMenuEntries];
  const bool usable = link_.Writable() && !playback_.IsOpen();
  const int count = monitor::DescribeRateMenu(session_, usable, entries);
  ui::AppendEntries<wchar_t>(menu, entries, count);
  // A network receiver's port rate is its bridge's, not this link's to follow.
  if (link_.IsNetwork()) ui::GreyPortRateItems(menu);
  corrections_.AppendMenuItems(menu, usable);
  PopUpAbove(menu, IDM_RECEIVER);
}

// Above the button, or above the bar's place when there is none.
void MainWindow::PopUpAbove(HMENU menu, int buttonId) {
  const int screenBottom = ce::ScreenPixels(ce::kScreenHeight);
  RECT button = {0, screenBottom - ce::ScreenPixels(ce::kMenuBarHeight), ce::ScreenPixels(ce::kScreenWidth),
                 screenBottom};
  HWND buttonWindow = menuBar != nullptr ? GetDlgItem(menuBar, buttonId) : nullptr;
  if (buttonWindow != nullptr) GetWindowRect(buttonWindow, &button);
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, button.left, button.top, 0, hwnd, nullptr);
  DestroyMenu(menu);
}

// The File menu above the menu bar: Record while a link is open, Play
// File..., and the playback's commands while a file is open.
void MainWindow::ShowFileMenu() {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  const bool playing = playback_.IsOpen();
  const bool moving = playing && !playback_.Clock().Ended();
  const auto state = [](bool enabled, bool checked = false) {
    return MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : MF_UNCHECKED);
  };
  AppendMenuW(menu, state(link_.IsOpen() && !playing, recording_.On()), IDM_RECORD, L"Record");
  AppendMenuW(menu, state(true), IDM_PLAY_FILE, L"Play File...");
  AppendMenuW(menu, state(moving, moving && playback_.Clock().Paused()), IDM_PAUSE, L"Pause");
  AppendMenuW(menu, state(moving), IDM_STEP, L"Step");
  AppendMenuW(menu, state(playing), IDM_FASTER, L"Faster");
  AppendMenuW(menu, state(playing), IDM_SLOWER, L"Slower");
  AppendMenuW(menu, state(playing), IDM_STOP_PLAYING, L"Stop Playing");
  AppendMenuW(menu, state(playing || recording_.On()), IDM_EXPORT_TRACK, L"Export Track...");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, state(true), IDM_OPEN_NETWORK, L"Open Network Receiver...");
  AppendMenuW(menu, state(link_.IsNetwork()), IDM_CLOSE_NETWORK, L"Close Network Receiver");
  PopUpAbove(menu, IDM_FILE);
}

void MainWindow::OnFileCommand(int id) {
  if (id == IDM_OPEN_NETWORK) {
    ui::NetworkDialog<wchar_t> dialog;
    nmea::CopyText(dialog.text, ui::NetworkDialog<wchar_t>::kSourceChars, L"tcp://127.0.0.1:10110");
    ce::DialogTemplate layout;
    if (layout.Load(ui::ModuleInstance(), IDD_NETWORK) && ui::RunModalWide(dialog, layout.get(), hwnd) == IDOK) {
      linkRun_.OpenNetwork(hwnd, dialog.source, dialog.text);
    }
  } else if (id == IDM_CLOSE_NETWORK) {
    if (link_.IsNetwork()) linkRun_.Close();
  } else if (id == IDM_PLAY_FILE) {
    wchar_t path[ui::kPathChars];
    if (ui::AskForFileToPlay(hwnd, path)) PlayFile(path);
  } else if (id == IDM_STOP_PLAYING) {
    StopPlaying();
  } else if (id == IDM_EXPORT_TRACK) {
    OnExportTrack();
  } else if (id == IDM_RECORD && recording_.On()) {
    StopRecording();
  } else if (id == IDM_RECORD) {
    if (!link_.IsOpen() || playback_.IsOpen()) return;  // Record is grey then
    wchar_t note[recording::RecordingSwitch<wchar_t>::kNoteChars];
    recording_.Start(hwnd, note);
    Show(session_.Note(note));
  } else {
    Show(playback_.Command(id, GetTickCount()));
    FollowPlayback();
  }
}

// The file playing is exported whole; a recording, as far as it has come.
void MainWindow::OnExportTrack() {
  const wchar_t* source =
      playback_.IsOpen() ? playback_.Path() : recording_.On() ? recorder_.Path<wchar_t>() : nullptr;
  if (source == nullptr || source[0] == 0) return;  // Export Track is grey then
  wchar_t note[ui::TrackExportRun<wchar_t>::kNoteChars];
  trackExport.Start(hwnd, EXPORT_TIMER_ID, source, note);
  exportQuarter_ = 0;
  if (note[0] != 0) Show(session_.Note(note));
}

void MainWindow::ExportSlice() {
  wchar_t note[ui::TrackExportRun<wchar_t>::kNoteChars];
  trackExport.Slice(note);
  if (note[0] != 0) {
    Show(session_.Note(note));
    return;
  }
  const int quarter = trackExport.Permille() / 250;
  if (quarter <= exportQuarter_ || quarter >= 4) return;
  exportQuarter_ = quarter;
  wchar_t progress[32];
  nmea::TextBuilder<wchar_t> text(progress, 32);
  text.AppendAscii("Exporting: ");
  text.AppendInt(quarter * 25, 1);
  text.AppendAscii(" %\r\n");
  Show(session_.Note(progress));
}

void MainWindow::PlayFile(const wchar_t* path) {
  if (link_.IsOpen()) linkRun_.Close();
  StopPlaying();
  Show(ui::OpenAndPlay(playback_, playFile_, path, GetTickCount()));
  if (!playback_.IsOpen()) return;
  setupPage.SetPlaying(true);
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  historyShadow_.Start(playFile_);
  SetTimer(hwnd, CHARTS_TIMER_ID, ui::kExportTickMs, nullptr);
  FollowPlayback();
}

void MainWindow::StopRecording() {
  wchar_t note[recording::RecordingSwitch<wchar_t>::kNoteChars];
  if (recording_.Stop(note)) Show(session_.Note(note));
}

void MainWindow::StopPlaying() {
  if (!playback_.IsOpen()) return;
  KillTimer(hwnd, PLAYBACK_TIMER_ID);
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, CHARTS_TIMER_ID);
  historyShadow_.Stop();
  Show(playback_.Close());  // the link state line reads "Closed" again
  playFile_.Close();
  setupPage.SetPlaying(false);
}

// The link state line reads "P / L  x2", "P / L  paused" or "L / L  end".
void MainWindow::FollowPlayback() {
  if (!playback_.IsOpen()) return;
  ui::WakeIn(hwnd, PLAYBACK_TIMER_ID, playback_.WakeAfterMs(GetTickCount()));
  wchar_t text[64];
  playback_.PositionText(text, 64, false);
  setupPage.ShowLinkState(text);
  ShowCharts();
}

void MainWindow::ShowCharts() {
  ui::ShowCharts(chartsPage, history_, playback_);
}

}  // namespace trelvane::pocket
