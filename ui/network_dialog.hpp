// File > Open Network Receiver...: one line, "tcp://HOST:PORT",
// "udp://:PORT" or "udp://ADDRESS:PORT". Open is taken only for a text the link can use; the
// same dialog in both monitors, in their text form.
#pragma once

#include <windows.h>

#include "net/network_source.hpp"
#include "ui/corrections_ids.h"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"

namespace trelvane::ui {

template <class Ch>
class NetworkDialog final : public WindowObject {
 public:
  static constexpr int kSourceChars = 160;

  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_INITDIALOG) {
      SendMessageOf<Ch>(GetDlgItem(hwnd, IDC_NETWORK_SOURCE), EM_LIMITTEXT, kSourceChars - 1, 0);
      SetControlTextOf<Ch>(hwnd, IDC_NETWORK_SOURCE, text);
      return 1;
    }
    if (message != WM_COMMAND) return 0;
    if (LOWORD(wParam) == IDOK) {
      if constexpr (sizeof(Ch) == 1) {
        GetDlgItemTextA(hwnd, IDC_NETWORK_SOURCE, text, kSourceChars);
      } else {
        GetDlgItemTextW(hwnd, IDC_NETWORK_SOURCE, text, kSourceChars);
      }
      if (!net::ParseNetworkSource(text, source)) {
        MessageBeep(MB_ICONEXCLAMATION);  // the text stays for mending
        return 1;
      }
      EndDialog(hwnd, IDOK);
      return 1;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      EndDialog(hwnd, IDCANCEL);
      return 1;
    }
    return 0;
  }

  // What the dialog starts with, and on Open what the user typed.
  Ch text[kSourceChars] = {};
  net::NetworkSource source;
};

}  // namespace trelvane::ui
