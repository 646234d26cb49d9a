// The handheld Setup page: port and baud rate, start and close of the link,
// cold start, the three receiver switches, the port rescan and the log pane.
// It never touches the port: it posts its requests to the main window, so
// when it sets up its controls the request has not been carried out yet.
#pragma once

#include <windows.h>

#include "receiver/receiver_family.hpp"
#include "ui/log_pane_control.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"
#include "pocket/resource.h"
#include "pocket/port_list.hpp"

namespace trelvane::pocket {

class SetupPage final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Rebuilds the port table from the active drivers, then refills the list.
  void RescanPorts();
  // Refills the port list from the table and chooses its selection again.
  void RefillPortList();
  // Enables the command controls the family in force has while the link is
  // open, and greys the others (and all of them while it is closed).
  void ApplyFamily(receiver::Family inForce);
  // Start GPS reads "Start GPS", Scan is free and the commands are grey: the
  // link was closed, also when the main window closed it for a file.
  void ShowLinkClosed();
  // Shows the link's health state, setting only a changed text.
  void ShowLinkState(const wchar_t* state);

  PortInfoTable ports;
  // Fills the lists once the dialog exists; carries out a control's command.
  void Initialise();
  void HandleCommand(int id, int notification);

  // The main window, set right after it was created; every request goes there.
  HWND mainWindow = nullptr;
  // 1 while a port is open; written by the main window's ToggleLink only.
  int gpsRunning = 0;
  // True while a file plays: Start GPS is grey (the link is closed, so the
  // seven controls are too).
  void SetPlaying(bool playing);
  // A network receiver open (`source`, its address) or closed (nullptr):
  // its address stands in the port list's place, Start GPS is grey, and
  // the commands are offered only when it can take them (`writable`).
  void ShowNetwork(const wchar_t* source, bool writable);
  // The family the seven controls speak; the main window keeps it current.
  receiver::Family familyInForce = receiver::Family::kUnknown;
  // The log pane. Sentence intake and the command echo write through `log`,
  // which gathers their inserts until the page's flush timer fires.
  ui::PageLog<wchar_t> log{*this, IDC_LOG, LOG_FLUSH_TIMER_ID};

 private:
  int writable_ = 1;       // 0 while a network receiver that cannot be written to (UDP) is open
  int savedPortItem_ = 0;  // the port list's selection while a network receiver stands in its place
  ui::ShownText<wchar_t, 64> shownState_{"Closed"};

  void ToggleGps();
  void EnableControl(int id, bool enable);
  void EnableCommands(bool open);
  void SetLogText(const wchar_t* text);
};

}  // namespace trelvane::pocket
