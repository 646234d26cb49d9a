// The Setup page: port and baud rate, start and close of the link, cold
// start, the three receiver switches, the port scan, the receiver's family,
// Identify and the receiver's name, and the log pane. It
// never touches the port: it sends or posts requests to the main window.
#pragma once

#include <windows.h>

#include "link/port_table.hpp"
#include "receiver/receiver_family.hpp"
#include "ui/log_pane_control.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"
#include "desktop/resource.h"

namespace trelvane::desktop {

class SetupPage final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Fills the port list from the port table after a scan: "name  status"
  // items, the first receiver found selected, else the first item; the rate
  // list then shows the rate that receiver talked at.
  void RefillPortList();

  // Enables the command controls the family in force has while the link is
  // open, and greys the others (and all of them while it is closed).
  void ApplyFamily(receiver::Family inForce);
  // Start GPS's text, Scan and the command controls as the link is
  // (gpsRunning), however it came to be opened or closed.
  void FollowLink();
  // A network receiver open (`source`, its address) or closed (nullptr):
  // its address stands in the port list's place, Start GPS is grey, and
  // the commands are offered only when it can take them (`writable`).
  void ShowNetwork(const char* source, bool writable);
  // Shows the receiver's name (empty until it is known).
  void ShowReceiverName(const char* name);
  // Shows the link's health state and counts, setting only a changed text.
  void ShowLinkHealth(const char* state, const char* counts);
  // "Shared: N clients" while the receiver is shared; empty otherwise.
  void ShowShared(const char* text);

  // Fills the lists once the dialog exists; carries out a control's command.
  void Initialise();
  void HandleCommand(int id, int notification);

  // The main window, set right after it was created; every request goes there.
  HWND mainWindow = nullptr;
  // 1 while the link is open; written by the main window's start/close.
  int gpsRunning = 0;
  // 1 while a file plays: Start GPS stays grey, as do the seven controls
  // (the link is closed).
  int playing = 0;
  // The log pane. Sentence intake and the command echo write through `log`,
  // which gathers their inserts until the page's flush timer fires.
  ui::PageLog<char> log{*this, IDC_LOG, LOG_FLUSH_TIMER_ID};
  // 0 while a network receiver that cannot be written to (UDP) is open.
  int writable = 1;
  // 1 while the Scan Ports dialog runs.
  int scanning = 0;
  link::PortTable portTable;
  // The family the seven controls speak; the main window keeps it current.
  receiver::Family familyInForce = receiver::Family::kUnknown;

 private:
  ui::ShownText<char, 96> shownState_{"Closed"};
  ui::ShownText<char, 96> shownCounts_{""};
  ui::ShownText<char, 64> shownShared_{""};
  int savedPortItem_ = 0;  // the port list's selection while a network receiver stands in its place

  void ToggleGps();
  void ColdStart();
  void ScanOperation();
  void EnableControl(int id, bool enable);
  void SetLogText(const char* text);
};

// Runs the port scan for `page` and fills `table`. Returns 1 when the table
// was refilled, 0 when no scan ran (the table is then as it was).
int RunPortScan(HWND page, link::PortTable& table);

}  // namespace trelvane::desktop
