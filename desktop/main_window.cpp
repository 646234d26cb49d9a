#include "desktop/main_window.hpp"

#include <commctrl.h>
#include <dbt.h>

#include <chrono>
#include <cstdio>

#include "link/line_batch.hpp"
#include "link/port_name.hpp"
#include "receiver/link_settings.hpp"
#include "receiver/receiver_commands.hpp"
#include "nmea/text.hpp"
#include "desktop/about_dialog.hpp"
#include "monitor/rate_menu.hpp"
#include "ui/file_calls.hpp"
#include "handles/gdi.hpp"
#include "ui/menu_entries.hpp"
#include "ui/rate_following.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/network_dialog.hpp"
#include "desktop/resource.h"
#include "ui/work_census.hpp"
#include "ui/dpi.hpp"

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
constexpr UINT kTickMs = 1000;  // the session's clock while a link is open

// A page fills the tab control's page area, as large as the screen's DPI makes it.
void FitPage(HWND page, HWND tabs) {
  const RECT at = ui::Scaled(kPageRect, ui::WindowDpi(tabs));
  MoveWindow(page, at.left, at.top, at.right - at.left, at.bottom - at.top, TRUE);
}

void PlacePage(HWND page, HWND tabs, int show) {
  SetParent(page, tabs);
  FitPage(page, tabs);
  ShowWindow(page, show);
}

}  // namespace

void LoadModuleString(int id, char* buffer, int capacity) { ui::LoadModuleText(id, buffer, capacity); }

void DispatchWithAccelerators(MSG& msg, HACCEL accelerators) {
  if (TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

MainWindow::MainWindow() { infoPage.intake = &session_.Intake(); }

// Each message goes to the routine of its own, which answers it.
LRESULT MainWindow::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      return OnDestroy();
    case WM_ACTIVATE:
      return OnActivate(wParam);
    case WM_PAINT:
      handles::PaintScope{hwnd};  // validates only: the tab control covers the client area
      return 0;
    case WM_NOTIFY:
      return OnNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam));
    case WM_TIMER:
      return OnTimer(wParam);
    case WM_DEVICECHANGE:
      return OnDeviceChange(wParam);
    case receiver::kMsgToggleGps:
      return ToggleLink();
    case receiver::kMsgNmeaBatch:  // the batch belongs to the reader, which waits until this returns
      return OnBatch(*reinterpret_cast<const link::LineBatch<char>*>(wParam));
    case net::kMsgShareClients:
      return OnShareClients(wParam);
    case WM_COPYDATA:
      return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_HSCROLL:
      return OnScroll(wParam, lParam);
    default:
      return OnOtherMessage(message, wParam, lParam);
  }
}

// Help, the Receiver menu opening, the recording's end on its own, the
// paint helpers' census, the receiver's requests, or the default.
LRESULT MainWindow::OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HELP) {
    ui::StartHelpViewer();
    return 0;
  }
  if (message == WM_INITMENUPOPUP) {
    if (reinterpret_cast<HMENU>(wParam) == receiverMenu_) FillReceiverMenu();
    return 0;
  }
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
    while (link_.TakeNetworkNote(note, sizeof note)) Show(session_.Note(note));
    return 0;
  }
  if (message == ui::kMsgDpiChanged) return OnDpiChanged(*reinterpret_cast<const RECT*>(lParam));
  if (message == receiver::kMsgGdiCensus) return handles::GdiCensus::Live();
  if (message == ui::kMsgWorkCensus) return static_cast<LRESULT>(ui::WorkCensus::Read(static_cast<unsigned>(wParam)));
  if (receiver::IsReceiverMessage(message)) return OnReceiverMessage(message, wParam);
  return message == WM_WININICHANGE ? 0 : DefWindowProcA(hwnd, message, wParam, lParam);
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

  // Sized for the screen it opens on; a move to another screen re-lays it.
  const UINT dpi = ui::WindowDpi(nullptr);
  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                CW_USEDEFAULT, ui::Scaled(kWindowWidth, dpi), ui::Scaled(kWindowHeight, dpi), nullptr,
                                nullptr, instance, this);
  if (window == nullptr) return 0;
  // Only now: while WM_CREATE ran, the page had no window to address.
  setupPage.mainWindow = window;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return 1;
}

// A batch's lines are read in place, in order: answers how many were accepted.
LRESULT MainWindow::OnBatch(const link::LineBatch<char>& batch) {
  int accepted = 0;
  session_.ClockReading(ui::PcUtcMs());
  Show(session_.TakeBatch(batch, GetTickCount(), accepted));
  corrections_.AfterLines(session_);
  return accepted;
}

LRESULT MainWindow::OnCreate() {
  initialising = 1;
  tabControl = ui::CreateTabs<char>(hwnd, IDC_TABS, 0, {IDS_TAB_SETUP, IDS_TAB_INFO, IDS_TAB_ACCURACY, IDS_TAB_CHARTS, IDS_TAB_HEALTH});
  if (tabControl == nullptr) return -1;
  infoPage.skyBitmap.Reset(LoadBitmapA(ui::ModuleInstance(), MAKEINTRESOURCEA(IDB_SKY)));

  if (ui::CreatePage(setupPage, IDD_SETUP, tabControl) == 0) return -1;
  PlacePage(setupPage.hwnd, tabControl, SW_SHOW);
  if (ui::CreatePage(infoPage, IDD_INFO, tabControl) == 0) return -1;
  PlacePage(infoPage.hwnd, tabControl, SW_HIDE);
  accuracyPage.mainWindow = hwnd;
  if (ui::CreatePage(accuracyPage, IDD_ACCURACY, tabControl) == 0) return -1;
  PlacePage(accuracyPage.hwnd, tabControl, SW_HIDE);
  if (ui::CreatePage(chartsPage, IDD_CHARTS, tabControl) == 0) return -1;
  PlacePage(chartsPage.hwnd, tabControl, SW_HIDE);
  session_.KeepHistory(&liveHistory_);
  healthPage.mainWindow = hwnd;
  if (ui::CreatePage(healthPage, IDD_HEALTH, tabControl) == 0) return -1;
  PlacePage(healthPage.hwnd, tabControl, SW_HIDE);
  Show(session_.UpdateFigures());
  // The Receiver menu stands between File and About; its items are made
  // each time it opens, as the receiver and the link then are.
  receiverMenu_ = CreatePopupMenu();
  if (receiverMenu_ != nullptr &&
      !InsertMenuA(GetMenu(hwnd), IDM_ABOUT, MF_BYCOMMAND | MF_POPUP | MF_STRING,
                   reinterpret_cast<UINT_PTR>(receiverMenu_), "Receiver")) {
    DestroyMenu(receiverMenu_);
    receiverMenu_ = nullptr;
  }
  FillReceiverMenu();
  DrawMenuBar(hwnd);
  shareSettings_ = LoadShareSettings();
  ApplySharing();
  UpdateFileMenu();
  initialising = 0;
  return 0;
}

// The pages die with the window; the link is closed before the process ends.
LRESULT MainWindow::OnDestroy() {
  KillTimer(hwnd, DEVICE_TIMER_ID);
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, PLAYBACK_TIMER_ID);
  KillTimer(hwnd, RATE_TIMER_ID);
  KillTimer(hwnd, AGE_TIMER_ID);
  timerArmed = 0;
  infoPage.skyBitmap.Reset();
  corrections_.Stop(session_);  // they write into the link
  if (link_.IsOpen()) link_.CloseLink();
  share_.Stop();
  PostQuitMessage(0);
  return 0;
}

// A switch made while the window is still being built is taken back.
LRESULT MainWindow::OnNotify(WPARAM wParam, const NMHDR* header) {
  const HWND pages[] = {setupPage.hwnd, infoPage.hwnd, accuracyPage.hwnd, chartsPage.hwnd, healthPage.hwnd};
  const int shown = ui::SwitchPages<char>(wParam, header, IDC_TABS, initialising, pages);
  if (shown == 1) infoPage.RequestRepaint();
  if (shown == 2) accuracyPage.RequestRepaint();
  if (shown == 3) {
    chartsPage.Refresh();
    ShowCharts();
  }
  if (shown == 4) {
    healthPage.Refresh();
    ui::ShowHealth(healthPage, session_, GetTickCount());
  }
  return 0;
}

// Coming back to the front repaints the page (once the window is built).
LRESULT MainWindow::OnActivate(WPARAM wParam) {
  if (LOWORD(wParam) == WA_ACTIVE && initialising == 0) infoPage.RequestRepaint();
  return 0;
}

LRESULT MainWindow::OnCommand(int id) {
  if (id == IDM_ABOUT) {
    AboutDialog about;
    ui::RunModal(about, IDD_ABOUT, hwnd);
  } else if (id == ui::kAccuracyReset) {
    Show(session_.ResetFixes());
  } else if (id == ui::kHealthReset) {
    session_.ResetSentences();
    healthPage.Refresh();
    ui::ShowHealth(healthPage, session_, GetTickCount());
  } else if (id == ui::kAccuracyHoldCentre) {
    Show(session_.HoldCentre(accuracyPage.CentreHeld()));
  } else if (id == IDM_SHARE || id == IDM_ALLOW_OTHERS) {
    return OnShareCommand(id);
  } else if (id == IDM_RECORD) {
    OnRecordCommand();
  } else if (id == IDM_EXPORT_TRACK) {
    OnExportTrack();
  } else if (id >= IDM_PLAY_FILE && id <= IDM_STOP_PLAYING) {
    return OnPlaybackCommand(id);
  } else if (monitor::IsRateItem(static_cast<unsigned>(id))) {
    return OnRateItem(id);
  } else if (id == IDM_OPEN_NETWORK || id == IDM_CLOSE_NETWORK) {
    return OnNetworkCommand(id);
  } else if (id == IDM_CORRECTIONS) {
    auto runDialog = [this](ui::WindowObject& dialog) { return ui::RunModal(dialog, IDD_CORRECTIONS, hwnd); };
    const bool usable = link_.Writable() && !playback_.IsOpen();
    if (usable) Show(corrections_.Start(hwnd, runDialog, link_, playback_, session_));
  } else if (id == IDM_STOP_CORRECTIONS) {
    Show(corrections_.Stop(session_));
  } else if (id == IDM_EXIT) {
    if (initialising == 1) return 0;
    KillTimer(hwnd, DEVICE_TIMER_ID);
    timerArmed = 0;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
  }
  return 0;
}

// The seven commands in the family in force, the family list and Identify.
LRESULT MainWindow::OnReceiverMessage(UINT message, WPARAM wParam) {
  int result = 1;
  Show(session_.Request(message, static_cast<int>(wParam), link_, result, GetTickCount()));
  return result;
}

// A plugged-in device may be a receiver whose driver needs a moment; the
// half-second pause and the one timer at a time are kept as they always were.
LRESULT MainWindow::OnDeviceChange(WPARAM event) {
  if (event != DBT_DEVICEARRIVAL || initialising == 1) return TRUE;
  Sleep(kDeviceSettleMs);
  if (timerArmed == 0) {
    timerArmed = 1;
    SetTimer(hwnd, DEVICE_TIMER_ID, kDeviceTimerMs, nullptr);
  }
  return TRUE;
}

// The one-second tick while the link is open (so a closed monitor stays
// idle), Identify's listening time, and the device-arrival timer.
LRESULT MainWindow::OnTimer(WPARAM id) {
  ui::WorkCensus::Count(ui::Work::kTimers);
  if (id == HEALTH_TIMER_ID) {
    Show(session_.Tick(GetTickCount(), playback_.IsOpen() ? playback_.Counts() : link_.Counts()));
    corrections_.Tick(session_, GetTickCount());
    ShowCharts();
    return 0;
  }
  if (id == CHARTS_TIMER_ID) {
    if (historyShadow_.More(std::chrono::milliseconds(10))) ShowCharts();
    if (!historyShadow_.Reading()) KillTimer(hwnd, CHARTS_TIMER_ID);
    return 0;
  }
  if (id == EXPORT_TIMER_ID) {
    ExportSlice();
    return 0;
  }
  if (id == PLAYBACK_TIMER_ID) {
    Show(playback_.Pump(GetTickCount()));
    FollowPlayback();
    return 0;
  }
  if (id == RATE_TIMER_ID) {
    Show(session_.FollowRate(GetTickCount()));
    return 0;
  }
  if (id == AGE_TIMER_ID) {
    Show(session_.AgeTick(GetTickCount()));
    return 0;
  }
  KillTimer(hwnd, id);
  if (id == IDENTIFY_TIMER_ID) {
    Show(session_.EndIdentify());
  } else {
    timerArmed = 0;
  }
  return 0;
}

// Opens the port selected on the Setup page at the selected rate, or closes
// the open link. Only selected list items count, not text typed into a
// combo's edit field. The answer is 1 when the port was opened or closed.
LRESULT MainWindow::ToggleLink() {
  if (playback_.IsOpen() || link_.IsNetwork()) return 0;  // Start GPS is grey then
  HWND startButton = GetDlgItem(setupPage.hwnd, IDC_START_GPS);
  EnableWindow(startButton, FALSE);
  LRESULT result = 1;
  if (link_.IsOpen()) {
    linkRun_.Close();
  } else {
    result = OpenLink();
  }
  EnableWindow(startButton, TRUE);
  return result;
}

LRESULT MainWindow::OpenLink() {
  char item[link::kItemTextChars];
  char name[link::kItemTextChars];
  int rate = 0;
  if (setupPage.portTable.portCount <= 0 ||
      !ui::SelectedPortAndRate(setupPage.hwnd, IDC_COM_PORT, IDC_BAUD_RATE, item, rate)) {
    return 0;
  }
  link::CutPortName(item, name, link::kItemTextChars);
  if (link_.OpenLink(hwnd, name, rate, &recorder_) != 1) return 0;
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  setupPage.gpsRunning = 1;
  nmea::CopyText(openDevice_, MAX_PATH, name);
  share_.SetDevice(openDevice_);
  shareFeed_.LinkOpened(openDevice_);
  portBaud_ = receiver::BaudRateAt(rate);
  Show(session_.LinkOpened(GetTickCount(), portBaud_));
  UpdateFileMenu();
  return 1;
}

void MainWindow::ShowLinkClosed(bool network) {
  if (network) setupPage.ShowNetwork(nullptr, true);
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, RATE_TIMER_ID);
  KillTimer(hwnd, AGE_TIMER_ID);
  setupPage.gpsRunning = 0;
  setupPage.FollowLink();  // also when playing a file closed the link
  shareFeed_.LinkClosed();
  UpdateFileMenu();
}

// Updates what the session says changed. The echo of a command keeps its
// place among the sentences in the log, and shows at once.
unsigned MainWindow::Show(unsigned change) {
  if ((change & (monitor::kPage | monitor::kAge)) != 0) infoPage.RequestRepaint();
  if ((change & monitor::kAge) != 0) accuracyPage.SetStale(infoPage.age.Grey());
  if ((change & monitor::kAccuracy) != 0) {
    accuracyPage.Show(session_.Scatter(accuracyPage.PlotSize(), accuracyPage.Dot()));
  }
  if ((change & monitor::kLogNow) != 0) setupPage.log.Flush();
  if ((change & (monitor::kHealth | monitor::kAccuracy)) != 0) ui::ShowHealth(healthPage, session_, GetTickCount());
  if ((change & monitor::kListen) != 0) SetTimer(hwnd, IDENTIFY_TIMER_ID, receiver::kIdentifyListenMs, nullptr);
  if ((change & monitor::kHealth) != 0) {
    char state[96];
    char counts[96];
    session_.HealthState(state, sizeof state);
    session_.HealthCounts(counts, sizeof counts);
    setupPage.ShowLinkHealth(state, counts);
  }
  if ((change & monitor::kName) != 0) setupPage.ShowReceiverName(session_.ReceiverName());
  if ((change & monitor::kFamily) != 0) setupPage.ApplyFamily(session_.InForce());
  if ((change & (monitor::kRate | monitor::kPace)) != 0) {
    ui::FollowSessionRate<char>(hwnd, {RATE_TIMER_ID, AGE_TIMER_ID}, (change & monitor::kRate) != 0,
                                (change & monitor::kPace) != 0, session_, link_, portBaud_, setupPage.hwnd,
                                IDC_BAUD_RATE);
  }
  return change;
}

void MainWindow::FillReceiverMenu() {
  if (receiverMenu_ == nullptr) return;
  monitor::MenuEntry entries[monitor::kRateMenuEntries];
  const bool usable = link_.Writable() && !playback_.IsOpen();
  const int count = monitor::DescribeRateMenu(session_, usable, entries);
  ui::ClearMenu(receiverMenu_);
  ui::AppendEntries<char>(receiverMenu_, entries, count);
  // A network receiver's port rate is its bridge's, not this link's to follow.
  if (link_.IsNetwork()) ui::GreyPortRateItems(receiverMenu_);
  corrections_.AppendMenuItems(receiverMenu_, usable);
}

LRESULT MainWindow::OnRateItem(int id) {
  int result = 0;
  if (link_.IsNetwork() && monitor::IsPortRateItem(static_cast<unsigned>(id))) return 0;
  Show(session_.RateItem(static_cast<unsigned>(id), link_.Writable() && !playback_.IsOpen(), link_, GetTickCount(),
                         result));
  return result;
}

LRESULT MainWindow::OnNetworkCommand(int id) {
  if (id == IDM_CLOSE_NETWORK) {
    if (link_.IsNetwork()) linkRun_.Close();
    return 0;
  }
  ui::NetworkDialog<char> dialog;
  nmea::CopyText(dialog.text, ui::NetworkDialog<char>::kSourceChars, openDevice_[0] == 't' || openDevice_[0] == 'u'
                                                                   ? openDevice_ : "tcp://127.0.0.1:10110");
  if (ui::RunModal(dialog, IDD_NETWORK, hwnd) == IDOK) linkRun_.OpenNetwork(hwnd, dialog.source, dialog.text);
  return 0;
}

void MainWindow::OpenSource(const char* text) { linkRun_.OpenSource(hwnd, text); }

// A link like a port's: the same reader core, health, Record and sharing;
// the address stands in the port list, and Start GPS is grey until File >
// Close Network Receiver.
void MainWindow::ShowNetworkOpened(const char* address) {
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  setupPage.gpsRunning = 1;
  setupPage.ShowNetwork(address, link_.Writable());
  nmea::CopyText(openDevice_, MAX_PATH, address);
  share_.SetDevice(openDevice_);
  shareFeed_.LinkOpened(openDevice_);
  portBaud_ = 0;
  UpdateFileMenu();
}



LRESULT MainWindow::OnShareCommand(int id) {
  if (id == IDM_SHARE) {
    shareSettings_.share = !shareSettings_.share;
  } else {
    shareSettings_.allowOthers = !shareSettings_.allowOthers;
  }
  SaveShareSettings(shareSettings_);
  ApplySharing();
  return 0;
}

// Listening anew: a change of Allow Other Computers takes effect at once.
void MainWindow::ApplySharing() {
  bool running = false;
  if (shareSettings_.share) {
    running = share_.Start(hwnd, shareSettings_.allowOthers);
  } else {
    share_.Stop();
  }
  session_.ShareTo(running ? &shareFeed_ : nullptr);
  if (running && (link_.IsOpen() || playback_.IsOpen())) {
    share_.SetDevice(openDevice_);
    shareFeed_.LinkOpened(openDevice_);
  }
  HMENU menu = GetMenu(hwnd);
  CheckMenuItem(menu, IDM_SHARE, MF_BYCOMMAND | (running ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, IDM_ALLOW_OTHERS, MF_BYCOMMAND | (shareSettings_.allowOthers ? MF_CHECKED : MF_UNCHECKED));
  if (running) {
    OnShareClients(0);
  } else {
    setupPage.ShowShared(shareSettings_.share ? "Sharing failed: ports 10110 and 2947 are taken" : "");
  }
}

LRESULT MainWindow::OnShareClients(WPARAM clients) {
  if (!share_.Running()) return 0;  // a count posted before the servers stopped
  char text[48];
  std::snprintf(text, sizeof text, "Shared: %u clients", static_cast<unsigned>(clients));
  setupPage.ShowShared(text);
  return 0;
}

void MainWindow::PlayFile(const char* path) {
  if (link_.IsOpen()) linkRun_.Close();
  StopPlaying();
  Show(ui::OpenAndPlay(playback_, playFile_, path, GetTickCount()));
  if (!playback_.IsOpen()) return;
  setupPage.playing = 1;
  EnableWindow(GetDlgItem(setupPage.hwnd, IDC_START_GPS), FALSE);
  playStrip_.Show(hwnd, tabControl);
  nmea::CopyText(openDevice_, MAX_PATH, path);
  share_.SetDevice(openDevice_);
  shareFeed_.LinkOpened(openDevice_);
  SetTimer(hwnd, HEALTH_TIMER_ID, kTickMs, nullptr);
  historyShadow_.Start(playFile_);
  SetTimer(hwnd, CHARTS_TIMER_ID, ui::kExportTickMs, nullptr);
  FollowPlayback();
}

void MainWindow::StopPlaying() {
  if (!playback_.IsOpen()) return;
  KillTimer(hwnd, PLAYBACK_TIMER_ID);
  KillTimer(hwnd, HEALTH_TIMER_ID);
  KillTimer(hwnd, CHARTS_TIMER_ID);
  historyShadow_.Stop();
  Show(playback_.Close());
  playFile_.Close();
  shareFeed_.LinkClosed();
  playStrip_.Hide();
  setupPage.playing = 0;
  EnableWindow(GetDlgItem(setupPage.hwnd, IDC_START_GPS), TRUE);
  UpdateFileMenu();
}

LRESULT MainWindow::OnPlaybackCommand(int id) {
  if (id == IDM_PLAY_FILE) {
    char path[ui::kPathChars];
    if (ui::AskForFileToPlay(hwnd, path)) PlayFile(path);
    return 0;
  }
  if (id == IDM_STOP_PLAYING) {
    StopPlaying();
    return 0;
  }
  Show(playback_.Command(id, GetTickCount()));
  FollowPlayback();
  return 0;
}

// A second start of the monitor with a file hands the file over.
LRESULT MainWindow::OnCopyData(const COPYDATASTRUCT* data) {
  char path[ui::kPathChars];
  if (!ui::HandedOverFile(data, path)) return FALSE;
  OpenSource(path);
  return TRUE;
}

LRESULT MainWindow::OnScroll(WPARAM wParam, LPARAM lParam) {
  int permille = 0;
  if (!playStrip_.TakeScroll(wParam, lParam, permille) || !playback_.IsOpen()) return 0;
  Show(playback_.Seek(static_cast<std::uint32_t>(permille), GetTickCount()));
  FollowPlayback();
  return 0;
}

void MainWindow::FollowPlayback() {
  if (!playback_.IsOpen()) return;
  ui::WakeIn(hwnd, PLAYBACK_TIMER_ID, playback_.WakeAfterMs(GetTickCount()));
  ShowPlayStrip();
  UpdateFileMenu();
  ShowCharts();
}

void MainWindow::ShowCharts() {
  ui::ShowCharts(chartsPage, history_, playback_);
}

// The position text, and how far an export has come.
// Moved to a screen of another DPI: the window takes its size there at the
// suggested place, and the tabs, the pages and the play strip follow. The
// information page draws at the new DPI on its next paint.
LRESULT MainWindow::OnDpiChanged(const RECT& suggested) {
  const bool strip = playStrip_.Shown();
  if (strip) playStrip_.Hide();
  const UINT dpi = ui::WindowDpi(hwnd);
  SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, ui::Scaled(kWindowWidth, dpi),
               ui::Scaled(kWindowHeight, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client = {};
  GetClientRect(hwnd, &client);
  MoveWindow(tabControl, client.left, client.top, client.right - client.left, client.bottom - client.top, TRUE);
  for (HWND page : {setupPage.hwnd, infoPage.hwnd, accuracyPage.hwnd, chartsPage.hwnd, healthPage.hwnd}) {
    FitPage(page, tabControl);
  }
  if (strip && playStrip_.Show(hwnd, tabControl)) ShowPlayStrip();
  infoPage.RequestRepaint();
  return 0;
}

void MainWindow::ShowPlayStrip() {
  char text[192];
  const int n = playback_.PositionText(text, sizeof text, true);
  if (trackExport.Running() && n >= 0 && n < static_cast<int>(sizeof text)) {
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  Exporting %d %%", trackExport.Permille() / 10);
  }
  playStrip_.ShowPosition(playback_.PositionPermille(), text);
}

// The file playing is exported whole; a recording, as far as it has come.
void MainWindow::OnExportTrack() {
  const char* source = playback_.IsOpen() ? playback_.Path() : recording_.On() ? recorder_.Path<char>() : nullptr;
  if (source == nullptr || source[0] == 0) return;  // Export Track is grey then
  char note[ui::TrackExportRun<char>::kNoteChars];
  trackExport.Start(hwnd, EXPORT_TIMER_ID, source, note);
  if (note[0] != 0) Show(session_.Note(note));
  if (playback_.IsOpen()) ShowPlayStrip();
}

void MainWindow::ExportSlice() {
  char note[ui::TrackExportRun<char>::kNoteChars];
  const bool ended = trackExport.Slice(note);
  if (note[0] != 0) Show(session_.Note(note));
  if (playback_.IsOpen()) ShowPlayStrip();
  if (ended) UpdateFileMenu();
}

void MainWindow::OnRecordCommand() {
  if (recording_.On()) {
    StopRecording();
    return;
  }
  if (!link_.IsOpen() || playback_.IsOpen()) return;  // Record is grey then
  char note[recording::RecordingSwitch<char>::kNoteChars];
  recording_.Start(hwnd, note);
  Show(session_.Note(note));
  UpdateFileMenu();
}

void MainWindow::StopRecording() {
  char note[recording::RecordingSwitch<char>::kNoteChars];
  if (recording_.Stop(note)) Show(session_.Note(note));
  UpdateFileMenu();
}

void MainWindow::UpdateFileMenu() {
  HMENU menu = GetMenu(hwnd);
  CheckMenuItem(menu, IDM_RECORD, MF_BYCOMMAND | (recording_.On() ? MF_CHECKED : MF_UNCHECKED));
  const bool playing = playback_.IsOpen();
  const bool moving = playing && !playback_.Clock().Ended();
  EnableMenuItem(menu, IDM_RECORD, MF_BYCOMMAND | (link_.IsOpen() && !playing ? MF_ENABLED : MF_GRAYED));
  for (int id : {IDM_PAUSE, IDM_STEP}) EnableMenuItem(menu, id, MF_BYCOMMAND | (moving ? MF_ENABLED : MF_GRAYED));
  for (int id : {IDM_FASTER, IDM_SLOWER, IDM_STOP_PLAYING}) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (playing ? MF_ENABLED : MF_GRAYED));
  }
  CheckMenuItem(menu, IDM_PAUSE, MF_BYCOMMAND | (moving && playback_.Clock().Paused() ? MF_CHECKED : MF_UNCHECKED));
  EnableMenuItem(menu, IDM_CLOSE_NETWORK, MF_BYCOMMAND | (link_.IsNetwork() ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu, IDM_EXPORT_TRACK, MF_BYCOMMAND | (playing || recording_.On() ? MF_ENABLED : MF_GRAYED));
}

}  // namespace trelvane::desktop
