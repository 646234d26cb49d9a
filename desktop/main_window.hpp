// The main window: the hub of the monitor. It carries the tab control with
// the three pages and owns the serial link and the monitor session; it turns
// the pages' requests and the reader's lines into session calls and updates
// the pages as the session answers.
#pragma once

#include <windows.h>

#include "link/line_batch.hpp"
#include "link/port_name.hpp"
#include "link/serial_link_desktop.hpp"
#include "net/receiver_link.hpp"
#include "recording/playback_file.hpp"
#include "recording/recorder.hpp"
#include "recording/recording_switch.hpp"
#include "monitor/monitor_session.hpp"
#include "monitor/playback.hpp"
#include "ui/accuracy_page.hpp"
#include "ui/corrections_run.hpp"
#include "ui/link_run.hpp"
#include "desktop/accuracy_layout.hpp"
#include "desktop/charts_layout.hpp"
#include "desktop/health_layout.hpp"
#include "monitor/history_feed.hpp"
#include "desktop/info_page.hpp"
#include "desktop/play_strip.hpp"
#include "net/share_server.hpp"
#include "desktop/share_settings.hpp"
#include "desktop/setup_page.hpp"
#include "ui/track_export_run.hpp"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class MainWindow final : public ui::WindowObject, public ui::LinkShown<char> {
 public:
  MainWindow();

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Registers the window class, creates and shows the window. Returns 1 when
  // the window exists and is shown, 0 otherwise. The single-instance test is
  // the program entry's.
  int Create(int showCommand);

  // Plays the recording or capture at `path` in place of the link, which is
  // closed first; the Setup page's log says so when it cannot be opened.
  void PlayFile(const char* path) override;
  // What the command line or a second start hands over: a network
  // receiver's address (tcp://HOST:PORT, udp://:PORT), else a file to play.
  void OpenSource(const char* text);

  HWND tabControl = nullptr;
  SetupPage setupPage;
  InfoPage infoPage;
  ui::AccuracyPage<char> accuracyPage{kAccuracyLayout};
  ui::ChartsPage<char> chartsPage{kChartsLayout};
  ui::HealthPage<char> healthPage{kHealthLayout};
  // File > Export Track; its slices run on EXPORT_TIMER_ID.
  ui::TrackExportRun<char> trackExport;

  // 1 from the start of WM_CREATE to its successful end: page switches are
  // taken back, and Ctrl+Q, activation repaints and device arrivals ignored.
  static int initialising;
  // 1 while the device-arrival timer runs.
  static unsigned char timerArmed;

 private:
  LRESULT OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnDpiChanged(const RECT& suggested);
  LRESULT OnCreate();
  LRESULT OnDestroy();
  LRESULT OnActivate(WPARAM wParam);
  LRESULT OnNotify(WPARAM wParam, const NMHDR* header);
  LRESULT OnCommand(int id);
  LRESULT OnTimer(WPARAM id);
  LRESULT OnDeviceChange(WPARAM event);
  LRESULT ToggleLink();
  LRESULT OpenLink();
  // What closing a link, or opening a network receiver, changes on screen.
  void ShowLinkClosed(bool network) override;
  void ShowNetworkOpened(const char* address) override;
  LRESULT OnReceiverMessage(UINT message, WPARAM wParam);
  LRESULT OnBatch(const link::LineBatch<char>& batch);
  // File > Share Receiver and Allow Other Computers.
  LRESULT OnShareCommand(int id);
  // Starts or stops the servers as the settings say; the menu and the
  // Setup page's text follow.
  void ApplySharing();
  LRESULT OnShareClients(WPARAM clients);
  // Updates what `change` names; answers it.
  unsigned Show(unsigned change) override;
  // File > Record, and the recording's end on its own.
  void OnRecordCommand();
  void StopRecording() override;
  // File > Play File..., Pause, Step, Faster, Slower and Stop Playing.
  LRESULT OnPlaybackCommand(int id);
  LRESULT OnCopyData(const COPYDATASTRUCT* data);
  LRESULT OnScroll(WPARAM wParam, LPARAM lParam);
  void StopPlaying() override;
  // Sleeps until the played file's next bytes fall due; the strip and the
  // File menu follow the playback.
  void FollowPlayback();
  // File > Export Track..., and its slices: the play strip shows how far it is.
  void OnExportTrack();
  void ExportSlice();
  void ShowPlayStrip();
  // The charts of the live link, or of the file up to the play position.
  void ShowCharts();
  // The File menu's items greyed and checked as the link and the playback are.
  void UpdateFileMenu();
  // The Receiver menu's rate items as the session has them now.
  void FillReceiverMenu();
  LRESULT OnRateItem(int id);
  // File > Open Network Receiver... (the dialog) and Close Network Receiver.
  LRESULT OnNetworkCommand(int id);

  recording::Recorder recorder_;  // before the link, which hands it reads until it closes
  recording::RecordingSwitch<char> recording_{recorder_};
  net::ReceiverLink<link::DesktopLink, char> link_;
  // After the link: they write into it, and are stopped before it closes.
  ui::CorrectionsRun<char> corrections_{setupPage.hwnd, IDC_CORRECTIONS};
  net::ShareServer share_;
  monitor::ShareFeed shareFeed_{share_};
  ShareSettings shareSettings_;
  char openDevice_[MAX_PATH] = {};  // the port the link has open, or the file playing
  monitor::MonitorSession<char> session_{setupPage.log, infoPage.record, infoPage.satellites, infoPage.age};
  // The charts' history: a live link's, built by the session, or a played
  // file's, read through by the shadow.
  monitor::History history_;
  monitor::HistoryBuilder<char> liveHistory_{history_};
  monitor::HistoryShadow historyShadow_{history_};
  recording::PlaybackFile playFile_;
  monitor::Playback<char> playback_{session_};
  ui::LinkRun<link::DesktopLink, char> linkRun_{link_, corrections_, session_, recorder_, *this};
  PlayStrip playStrip_;
  HMENU receiverMenu_ = nullptr;  // a popup of the window's menu, which owns it
  unsigned long portBaud_ = 0;    // the rate the open port runs at
};

// Loads string `id` of the module into `buffer`, bounded.
void LoadModuleString(int id, char* buffer, int capacity);

// One turn of the message loop: accelerators are translated for the message's
// own window, and only an untranslated message is dispatched.
void DispatchWithAccelerators(MSG& msg, HACCEL accelerators);

}  // namespace trelvane::desktop
