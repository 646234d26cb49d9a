// The About box: the program's icon, name and version, full screen with the
// shell's Done button, which arrives as IDOK.
#pragma once

#include "ui/window_object.hpp"
#include "ce/shell.hpp"

namespace trelvane::pocket {

class AboutDialog final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_INITDIALOG) {
      ce::InitDialogInfo info = {};
      info.dwMask = ce::SHIDIM_FLAGS;
      info.hDlg = hwnd;
      info.dwFlags = ce::SHIDIF_DONEBUTTON | ce::SHIDIF_SIZEDLGFULLSCREEN | ce::SHIDIF_SIPDOWN;
      ce::SHInitDialog(&info);
      return 1;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
      EndDialog(hwnd, 1);
      return 1;
    }
    return 0;
  }
};

}  // namespace trelvane::pocket
