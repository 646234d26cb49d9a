// How both Setup pages route their messages: they set themselves up once,
// carry out each control's command, flush their log pane on its timer, and
// paint nothing themselves (their controls draw themselves).
#pragma once

#include <windows.h>

#include "handles/gdi.hpp"
#include "ui/work_census.hpp"

namespace trelvane::ui {

// `page` has Initialise(), HandleCommand(id, notification) and a PageLog `log`.
template <class Page>
LRESULT RouteSetupPage(Page& page, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_INITDIALOG:
      page.Initialise();
      return 1;
    case WM_COMMAND:
      page.HandleCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_TIMER:
      WorkCensus::Count(Work::kTimers);
      page.log.OnTimer(wParam);
      return 0;
    case WM_PAINT:
      handles::PaintScope{page.hwnd};  // validates only
      return 0;
    default:
      return 0;  // WM_DESTROY included: the page frees nothing
  }
}

}  // namespace trelvane::ui
