// The About box: the program's name and version; no buttons, so it closes by
// Esc or its close box, both of which arrive as IDCANCEL.
#pragma once

#include "ui/window_object.hpp"

namespace trelvane::desktop {

class AboutDialog final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_INITDIALOG) return 1;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
      EndDialog(hwnd, IDCANCEL);
      return 1;
    }
    return 0;
  }
};

}  // namespace trelvane::desktop
