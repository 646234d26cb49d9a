// What both main windows do when the monitor session moves a port-rate
// change on or the receiver's fix period changes: the open port goes to the
// session's rate, the Setup page's rate list shows it, and the window's
// timers wake the session when it next has something to do.
#pragma once

#include <windows.h>

#include <cstdio>

#include "ui/monitor_calls.hpp"

namespace trelvane::ui {

struct RateTimers {
  UINT_PTR rate;  // the next step of the port-rate change
  UINT_PTR age;   // the data's age, for a receiver faster than 1 Hz
};

// `session` is a monitor::MonitorSession, `link` an open serial link,
// `portBaud` the rate the window last set on it. `rateMoved` and
// `paceChanged` are the session's kRate and kPace.
template <class Ch, class Session, class Link>
void FollowSessionRate(HWND window, RateTimers timers, bool rateMoved, bool paceChanged, const Session& session,
                       Link& link, unsigned long& portBaud, HWND setupPage, int rateListId) {
  if (!link.IsOpen()) return;
  if (paceChanged) {
    const unsigned ms = session.AgeTickMs();
    WakeIn(window, timers.age, ms == 0 ? 0xFFFFFFFFu : ms);
  }
  if (!rateMoved) return;
  if (session.PortBaud() != portBaud && link.SetRate(session.PortBaud()) == 1) {
    portBaud = session.PortBaud();
    char digits[16];
    std::snprintf(digits, sizeof digits, "%lu", portBaud);
    Ch item[16] = {};
    for (int n = 0; digits[n] != 0; ++n) item[n] = static_cast<Ch>(digits[n]);
    HWND list = GetDlgItem(setupPage, rateListId);
    const LRESULT index = SendMessageOf<Ch>(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item));
    if (index != CB_ERR) SendMessageOf<Ch>(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  WakeIn(window, timers.rate, session.RateWakeMs(GetTickCount()));
}

}  // namespace trelvane::ui
