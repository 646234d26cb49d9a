// A page's read-only multi-line edit control as the log pane: the three
// operations sentence intake and the command echo use, in the build's own
// text form.
#pragma once

#include <windows.h>

#include "nmea/sinks.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"

namespace trelvane::ui {

// How long accepted sentences may wait before they show in the log pane: a
// person watching a log does not see a quarter of a second, and a pane under
// Wine costs about 10 ms an insert, whatever the insert's size. A stream
// whose last flush carried ten lines or more (forty a second and up: a fast
// receiver, whose lines no one reads one by one as they scroll by) is brought
// up to date once a second: four inserts a second of such a stream cost a
// visible pane about 5 % of a core, one a second about 2 %.
constexpr UINT kLogFlushMs = 250;
constexpr UINT kBusyLogFlushMs = 1000;
constexpr int kBusyFlushLines = 10;

inline UINT LogFlushDelayMs(int lastFlushLines) {
  return lastFlushLines >= kBusyFlushLines ? kBusyLogFlushMs : kLogFlushMs;
}

template <class Ch>
class LogPaneControl final : public nmea::LogPane<Ch> {
 public:
  LogPaneControl(const WindowObject& page, int id) : page_(page), id_(id) {}
  LogPaneControl(const LogPaneControl&) = delete;
  LogPaneControl& operator=(const LogPaneControl&) = delete;

  int LineCount() override { return static_cast<int>(SendMessageOf<Ch>(Edit(), EM_GETLINECOUNT, 0, 0)); }
  void SetText(const Ch* text) override {
    if constexpr (sizeof(Ch) == 1) {
      SetWindowTextA(Edit(), text);
    } else {
      SetWindowTextW(Edit(), text);
    }
  }
  void ReplaceSelection(const Ch* text) override {
    SendMessageOf<Ch>(Edit(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
  }

 private:
  HWND Edit() const { return GetDlgItem(page_.hwnd, id_); }
  const WindowObject& page_;
  int id_;
};

}  // namespace trelvane::ui
