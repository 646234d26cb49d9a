// The Setup page's log pane as sentence intake and the command echo write to
// it: the page's read-only multi-line edit control.
#pragma once

#include <windows.h>

#include "nmea/sinks.hpp"
#include "desktop/resource.h"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class SetupLogPane final : public nmea::LogPane<char> {
 public:
  explicit SetupLogPane(const ui::WindowObject& page) : page_(page) {}

  int LineCount() override { return static_cast<int>(SendMessageA(Edit(), EM_GETLINECOUNT, 0, 0)); }
  void SetText(const char* text) override { SetWindowTextA(Edit(), text); }
  void ReplaceSelection(const char* text) override {
    SendMessageA(Edit(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
  }

 private:
  HWND Edit() const { return GetDlgItem(page_.hwnd, IDC_LOG); }
  const ui::WindowObject& page_;
};

}  // namespace trelvane::desktop
