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
// Wine costs about 10 ms an insert, whatever the insert's size.
constexpr UINT kLogFlushMs = 250;

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
