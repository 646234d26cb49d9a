// The corrections as the desktop main window runs them: the Receiver menu's
// two items, the dialog, the client fed with the receiver's GGA, its lines
// into the log pane and its status line under it. The link must stay open
// while they run: the main window stops them before it closes the link.
#pragma once

#include <windows.h>

#include "link/ntrip_client.hpp"
#include "link/serial_link_desktop.hpp"
#include "monitor/monitor_session.hpp"
#include "desktop/setup_page.hpp"

namespace trelvane::desktop {

class CorrectionsRun {
 public:
  // "Corrections..." and "Stop Corrections", greyed while no link is open
  // (`linkUsable` false: none, or a file plays) or, for the second, while
  // nothing runs.
  void AppendMenuItems(HMENU menu, bool linkUsable) const;
  // Corrections...: the dialog, then, on Connect, the client on `link`.
  unsigned Start(HWND window, link::DesktopLink& link, monitor::MonitorSession<char>& session);
  // Stop Corrections, or the link closing: "Corrections stopped: ..." in the log.
  unsigned Stop(monitor::MonitorSession<char>& session, SetupPage& page);
  bool Running() const { return client_.Running(); }
  // The client's waiting lines into the log pane.
  unsigned TakeLog(monitor::MonitorSession<char>& session);
  // After the receiver's lines: a new GGA goes to the client.
  void AfterLines(const monitor::MonitorSession<char>& session);
  // Once a second: the status line.
  void Tick(const monitor::MonitorSession<char>& session, SetupPage& page, std::uint32_t now);

 private:
  link::NtripClient client_;
  link::CasterSettings settings_;
  bool loaded_ = false;
  unsigned ggaGiven_ = 0;
};

}  // namespace trelvane::desktop
