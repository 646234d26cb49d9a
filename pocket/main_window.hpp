// The handheld main window: the hub of the monitor. It carries the tab
// control with the two pages above the shell's menu bar, owns the serial link
// and sentence intake, carries out the Setup page's posted requests and the
// reader's lines, rescans the ports on activation and device changes, and
// keeps the device awake while it runs.
#pragma once

#include <windows.h>

#include "link/receiver_session.hpp"
#include "link/link_health.hpp"
#include "link/serial_link_handheld.hpp"
#include "nmea/sentence_intake.hpp"
#include "ui/window_object.hpp"
#include "pocket/info_page.hpp"
#include "pocket/setup_page.hpp"

namespace trelvane::pocket {

constexpr int kPageWidth = 240;
constexpr int kPageHeight = 246;
constexpr UINT kKeepAwakeMs = 5000;
constexpr UINT kHealthSampleMs = 1000;
constexpr DWORD kDeviceSettleMs = 500;
// While a process of this name runs, the monitor does not start.
constexpr wchar_t kBlockingProcess[] = L"tarnwick.exe";

class MainWindow final : public ui::WindowObject {
 public:
  MainWindow();

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Start-up: the process check, the single-instance check (the running copy
  // comes forward), the window class, the window and its menu bar. Returns 1
  // when the window exists and is shown, 0 when the program is to end.
  int InitInstance(HINSTANCE instance, int showCommand);

  HWND tabControl = nullptr;
  SetupPage setupPage;
  InfoPage infoPage;
  // The shell's menu bar, or null when it could not be made.
  HWND menuBar = nullptr;

  // 1 from the start of WM_CREATE to its successful end: tab switches are
  // taken back; activation, device changes and Ctrl+Q are ignored.
  static int initialising;

 private:
  LRESULT OnCreate();
  void OnDestroy();
  void OnActivate(WPARAM wParam);
  void OnNotify(WPARAM wParam, const NMHDR* header);
  void OnCommand(int id);
  void OnDeviceChange();
  void KeepAwake();
  void ToggleLink();
  int TakeLine(const wchar_t* line);
  LRESULT OnReceiverMessage(UINT message, WPARAM wParam);
  void ShowReceiver(unsigned change);
  void ShowReceiverMenu();
  void SampleHealth();
  void ShowHealth();

  link::HandheldLink link_;
  link::ReceiverSession<wchar_t> receiver_;
  nmea::SentenceIntake<nmea::PocketBuild> intake_;
  // Counted from the intake's results and sampled once a second from the
  // reader's totals while the link is open (HEALTH_TIMER_ID).
  link::LinkHealth health_;
};

// True when a process named exactly kBlockingProcess runs.
bool BlockingProcessRuns();

// One turn of the message loop: accelerators are translated for the message's
// own window, and only an untranslated message is dispatched.
void DispatchWithAccelerators(MSG& msg, HACCEL accelerators);

}  // namespace trelvane::pocket
