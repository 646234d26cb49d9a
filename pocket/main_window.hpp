// The handheld main window: the hub of the monitor. It carries the tab
// control with the three pages above the shell's menu bar and owns the serial
// link and the monitor session; it turns the Setup page's posted requests
// and the reader's lines into session calls and updates the pages as the
// session answers, rescans the ports on activation and device changes, and
// keeps the device awake while it runs.
#pragma once

#include <windows.h>

#include "link/line_batch.hpp"
#include "link/serial_link_handheld.hpp"
#include "net/receiver_link.hpp"
#include "ui/corrections_run.hpp"
#include "ui/link_run.hpp"
#include "recording/playback_file.hpp"
#include "recording/recorder.hpp"
#include "recording/recording_switch.hpp"
#include "monitor/monitor_session.hpp"
#include "monitor/playback.hpp"
#include "ui/accuracy_page.hpp"
#include "pocket/accuracy_layout.hpp"
#include "pocket/charts_layout.hpp"
#include "pocket/health_layout.hpp"
#include "monitor/history_feed.hpp"
#include "ui/window_object.hpp"
#include "ui/track_export_run.hpp"
#include "pocket/info_page.hpp"
#include "pocket/setup_page.hpp"

namespace trelvane::pocket {

constexpr int kPageWidth = 240;
constexpr int kPageHeight = 246;
constexpr UINT kKeepAwakeMs = 5000;
constexpr UINT kTickMs = 1000;  // the session's clock while a link is open
constexpr DWORD kDeviceSettleMs = 500;
// While a process of this name runs, the monitor does not start.
constexpr wchar_t kBlockingProcess[] = L"tarnwick.exe";

class MainWindow final : public ui::WindowObject, public ui::LinkShown<wchar_t> {
 public:
  MainWindow();

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Start-up: the process check, the single-instance check (the running copy
  // comes forward), the window class, the window and its menu bar. Returns 1
  // when the window exists and is shown, 0 when the program is to end.
  // A `file` named on the command line is played, or handed to the copy
  // already running.
  int InitInstance(HINSTANCE instance, int showCommand, const wchar_t* file = nullptr);

  // Plays the recording or capture at `path` in place of the link, which is
  // closed first; the log says so when it cannot be opened.
  void PlayFile(const wchar_t* path) override;
  // What the command line or a second start hands over: a network
  // receiver's address (tcp://HOST:PORT, udp://:PORT), else a file to play.
  void OpenSource(const wchar_t* text);

  HWND tabControl = nullptr;
  SetupPage setupPage;
  InfoPage infoPage;
  ui::AccuracyPage<wchar_t> accuracyPage{kAccuracyLayout};
  ui::ChartsPage<wchar_t> chartsPage{kChartsLayout};
  ui::HealthPage<wchar_t> healthPage{kHealthLayout};
  // File > Export Track; its slices run on EXPORT_TIMER_ID.
  ui::TrackExportRun<wchar_t> trackExport;
  // The shell's menu bar, or null when it could not be made.
  HWND menuBar = nullptr;

  // 1 from the start of WM_CREATE to its successful end: tab switches are
  // taken back; activation, device changes and Ctrl+Q are ignored.
  static int initialising;

 private:
  LRESULT OnCreate();
  void OnDestroy();
  void OnActivate(WPARAM wParam);
  void OnSettingChange(WPARAM wParam, LPARAM lParam);
  void OnNotify(WPARAM wParam, const NMHDR* header);
  void OnCommand(int id);
  void OnTimer(WPARAM id);
  void OnDeviceChange();
  LRESULT OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void KeepAwake();
  void ToggleLink();
  // What closing a link, or opening a network receiver, changes on screen.
  void ShowLinkClosed(bool network) override;
  void ShowNetworkOpened(const wchar_t* address) override;
  LRESULT OnReceiverMessage(UINT message, WPARAM wParam);
  LRESULT OnBatch(const link::LineBatch<wchar_t>& batch);
  // Updates what `change` names; answers it.
  unsigned Show(unsigned change) override;
  void ShowReceiverMenu();
  void ShowFileMenu();
  // File > Export Track..., and its slices: the log says how far it is, a
  // quarter at a time.
  void OnExportTrack();
  void ExportSlice();
  // Shows `menu` above the menu bar's button `buttonId`, then destroys it.
  void PopUpAbove(HMENU menu, int buttonId);
  void OnRateItem(int id);
  void OnFileCommand(int id);
  // Record turned off, the link closing, or the recording's end on its own.
  void StopRecording() override;
  void StopPlaying() override;
  // Sleeps until the played file's next bytes fall due; the link state
  // line shows where the file stands.
  void FollowPlayback();
  // The charts of the live link, or of the file up to the play position.
  void ShowCharts();

  recording::Recorder recorder_;  // before the link, which hands it reads until it closes
  recording::RecordingSwitch<wchar_t> recording_{recorder_};
  net::ReceiverLink<link::HandheldLink, wchar_t> link_;
  // After the link: they write into it, and are stopped before it closes.
  ui::CorrectionsRun<wchar_t> corrections_{setupPage.hwnd, IDC_CORRECTIONS};
  monitor::MonitorSession<wchar_t> session_{setupPage.log, infoPage, infoPage.satellites, infoPage.age};
  // The charts' history: a live link's, built by the session, or a played
  // file's, read through by the shadow.
  monitor::History history_;
  monitor::HistoryBuilder<wchar_t> liveHistory_{history_};
  monitor::HistoryShadow historyShadow_{history_};
  recording::PlaybackFile playFile_;
  monitor::Playback<wchar_t> playback_{session_};
  ui::LinkRun<link::HandheldLink, wchar_t> linkRun_{link_, corrections_, session_, recorder_, *this};
  unsigned long portBaud_ = 0;  // the rate the open port runs at
  int exportQuarter_ = 0;      // the last quarter of an export the log has told
};

// True when a process named exactly kBlockingProcess runs.
bool BlockingProcessRuns();

// One turn of the message loop: accelerators are translated for the message's
// own window, and only an untranslated message is dispatched.
void DispatchWithAccelerators(MSG& msg, HACCEL accelerators);

}  // namespace trelvane::pocket
