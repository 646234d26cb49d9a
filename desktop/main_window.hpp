// The main window: the hub of the monitor. It carries the tab control with
// the two pages, owns the serial link and sentence intake, and handles the
// pages' requests and the reader's lines.
#pragma once

#include <windows.h>

#include "link/receiver_session.hpp"
#include "link/link_health.hpp"
#include "link/serial_link_desktop.hpp"
#include "nmea/sentence_intake.hpp"
#include "desktop/info_page.hpp"
#include "desktop/setup_page.hpp"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class MainWindow final : public ui::WindowObject {
 public:
  MainWindow();

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Registers the window class, creates and shows the window. Returns 1 when
  // the window exists and is shown, 0 otherwise. The single-instance test is
  // the program entry's.
  int Create(int showCommand);

  HWND tabControl = nullptr;
  SetupPage setupPage;
  InfoPage infoPage;

  // 1 from the start of WM_CREATE to its successful end: page switches are
  // taken back, and Ctrl+Q, activation repaints and device arrivals ignored.
  static int initialising;
  // 1 while the device-arrival timer runs.
  static unsigned char timerArmed;

 private:
  LRESULT OnCreate();
  void OnDestroy();
  void OnNotify(WPARAM wParam, const NMHDR* header);
  void OnCommand(int id);
  void OnDeviceChange(WPARAM event);
  LRESULT ToggleLink();
  int TakeLine(const char* line);
  LRESULT OnReceiverMessage(UINT message, WPARAM wParam);
  void ShowReceiver(unsigned change);
  void SampleHealth();
  void ShowHealth();

  link::DesktopLink link_;
  link::ReceiverSession<char> receiver_;
  nmea::SentenceIntake<nmea::DesktopBuild> intake_;
  // Counted from the intake's results and sampled once a second from the
  // reader's totals while the link is open (HEALTH_TIMER_ID).
  link::LinkHealth health_;
};

// Loads string `id` of the module into `buffer`, bounded.
void LoadModuleString(int id, char* buffer, int capacity);

// One turn of the message loop: accelerators are translated for the message's
// own window, and only an untranslated message is dispatched.
void DispatchWithAccelerators(MSG& msg, HACCEL accelerators);

}  // namespace trelvane::desktop
