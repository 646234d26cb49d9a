// Receiver > Corrections...: the caster, its port, the mountpoint (typed,
// or picked from the caster's table that Get List fetches, nearest first),
// the login and how often the receiver's position is sent. The same dialog
// in both monitors, in their text form. Get List runs on a thread of its
// own; the dialog answers meanwhile, and a list still coming when it closes
// is left to end on its own.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corrections/ntrip_request.hpp"
#include "net/ntrip_client.hpp"
#include "ui/corrections_ids.h"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"

namespace trelvane::ui {

// A control's text as 8-bit ASCII (anything else becomes '?'), and back.
template <class Ch>
void ControlAscii(HWND dialog, int id, char* out, int capacity) {
  Ch text[256] = {};
  if constexpr (sizeof(Ch) == 1) {
    GetDlgItemTextA(dialog, id, text, 256);
  } else {
    GetDlgItemTextW(dialog, id, text, 256);
  }
  int n = 0;
  for (; text[n] != Ch(0) && n < capacity - 1; ++n) {
    const auto unit = static_cast<unsigned>(text[n]) & (sizeof(Ch) == 1 ? 0xFFu : 0xFFFFu);
    out[n] = unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  if (capacity > 0) out[n] = '\0';
}

template <class Ch>
void SetControlAscii(HWND dialog, int id, const char* text) {
  Ch wide[256];
  int n = 0;
  for (; text[n] != '\0' && n < 255; ++n) wide[n] = Ch(static_cast<unsigned char>(text[n]));
  wide[n] = Ch(0);
  SetControlTextOf<Ch>(dialog, id, wide);
}

// A control's text as UTF-8 into `out` (a password the caster checks byte
// by byte: any character the user can type goes as UTF-8, not as '?').
// What it went through on the way is wiped.
inline void ControlUtf8(HWND dialog, int id, char* out, int capacity) {
  wchar_t text[256] = {};
  GetDlgItemTextW(dialog, id, text, 256);
  const int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, capacity, nullptr, nullptr);
  if (written == 0 && capacity > 0) out[0] = '\0';  // too long for `out`: the edit's limit keeps it short
  SecureZeroMemory(text, sizeof text);
}

inline void SetControlUtf8(HWND dialog, int id, const char* text) {
  wchar_t wide[256] = {};
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256) == 0) wide[0] = L'\0';
  SetDlgItemTextW(dialog, id, wide);
  SecureZeroMemory(wide, sizeof wide);
}

// The characters a password may have: each goes as up to three bytes of UTF-8.
constexpr int kPasswordChars = (sizeof net::CasterSettings{}.password - 1) / 3;

template <class Ch>
class CorrectionsDialog final : public WindowObject {
 public:
  // Shows `settings` and, on Connect, leaves what the user chose in them.
  // The receiver's position, when `placed`, orders the list by distance.
  CorrectionsDialog(net::CasterSettings& settings, bool placed, double latitude, double longitude)
      : settings_(settings), placed_(placed), latitude_(latitude), longitude_(longitude) {}

  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_INITDIALOG) {
      Initialise();
      return 1;
    }
    if (message == net::kMsgSourceTable) {
      ShowList();
      return 1;
    }
    if (message != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
      case IDC_GET_LIST:
        GetList();
        return 1;
      case IDOK: {
        net::CasterSettings chosen = settings_;
        if (ReadControls(chosen, true)) {
          settings_ = chosen;
          EndDialog(hwnd, IDOK);
        }
        return 1;
      }
      case IDCANCEL:
        EndDialog(hwnd, IDCANCEL);
        return 1;
      default:
        return 0;
    }
  }

 private:
  void Initialise() {
    SendMessageOf<Ch>(GetDlgItem(hwnd, IDC_CASTER_HOST), EM_LIMITTEXT, sizeof settings_.host - 1, 0);
    SendMessageOf<Ch>(GetDlgItem(hwnd, IDC_MOUNTPOINT), CB_LIMITTEXT, sizeof settings_.mountpoint - 1, 0);
    SendMessageOf<Ch>(GetDlgItem(hwnd, IDC_CASTER_USER), EM_LIMITTEXT, sizeof settings_.user - 1, 0);
    SendMessageOf<Ch>(GetDlgItem(hwnd, IDC_CASTER_PASSWORD), EM_LIMITTEXT, kPasswordChars, 0);
    char number[16];
    SetControlAscii<Ch>(hwnd, IDC_CASTER_HOST, settings_.host);
    std::snprintf(number, sizeof number, "%u", settings_.port);
    SetControlAscii<Ch>(hwnd, IDC_CASTER_PORT, number);
    SetControlAscii<Ch>(hwnd, IDC_MOUNTPOINT, settings_.mountpoint);
    SetControlAscii<Ch>(hwnd, IDC_CASTER_USER, settings_.user);
    SetControlUtf8(hwnd, IDC_CASTER_PASSWORD, settings_.password);
    std::snprintf(number, sizeof number, "%u", settings_.ggaSeconds);
    SetControlAscii<Ch>(hwnd, IDC_GGA_SECONDS, number);
  }

  // A whole number from `id` within [least, most]; false for anything else.
  bool ReadNumber(int id, unsigned least, unsigned most, unsigned& out) const {
    char text[16];
    ControlAscii<Ch>(hwnd, id, text, sizeof text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != '\0' || value < least || value > most) return false;
    out = static_cast<unsigned>(value);
    return true;
  }

  // The controls into `into`; false, with the reason in the status text,
  // when the caster or (`needMount`) the mountpoint is missing.
  bool ReadControls(net::CasterSettings& into, bool needMount) {
    ControlAscii<Ch>(hwnd, IDC_CASTER_HOST, into.host, sizeof into.host);
    char mount[160];
    ControlAscii<Ch>(hwnd, IDC_MOUNTPOINT, mount, sizeof mount);
    corrections::SourceTable::NameOfItem(mount, into.mountpoint, sizeof into.mountpoint);
    ControlAscii<Ch>(hwnd, IDC_CASTER_USER, into.user, sizeof into.user);
    ControlUtf8(hwnd, IDC_CASTER_PASSWORD, into.password, sizeof into.password);
    const char* problem = nullptr;
    if (into.host[0] == '\0') {
      problem = "Type the caster's name";
    } else if (std::strchr(into.user, ':') != nullptr) {
      problem = "A user name cannot hold ':'";
    } else if (!corrections::MountpointFits(into.mountpoint)) {
      problem = "A mountpoint holds no spaces or control characters";
    } else if (!ReadNumber(IDC_CASTER_PORT, 1, 65535, into.port)) {
      problem = "The port is a number from 1 to 65535";
    } else if (!ReadNumber(IDC_GGA_SECONDS, 0, 3600, into.ggaSeconds)) {
      problem = "Send the position every 0 to 3600 s";
    } else if (needMount && into.mountpoint[0] == '\0') {
      problem = "Pick or type a mountpoint";
    }
    if (problem != nullptr) SetControlAscii<Ch>(hwnd, IDC_LIST_STATUS, problem);
    return problem == nullptr;
  }

  void GetList() {
    net::CasterSettings asked = settings_;
    if (!ReadControls(asked, false)) return;
    if (!fetch_.Start(hwnd, asked)) {
      SetControlAscii<Ch>(hwnd, IDC_LIST_STATUS, "The list could not be fetched");
      return;
    }
    EnableWindow(GetDlgItem(hwnd, IDC_GET_LIST), FALSE);
    SetControlAscii<Ch>(hwnd, IDC_LIST_STATUS, "Fetching the list...");
  }

  // The fetched table into the list, nearest first; what was typed stays.
  void ShowList() {
    std::vector<corrections::Mountpoint> mounts;
    char why[128];
    if (!fetch_.Result(mounts, why, sizeof why)) return;
    EnableWindow(GetDlgItem(hwnd, IDC_GET_LIST), TRUE);
    char typed[160];
    ControlAscii<Ch>(hwnd, IDC_MOUNTPOINT, typed, sizeof typed);
    HWND combo = GetDlgItem(hwnd, IDC_MOUNTPOINT);
    SendMessageOf<Ch>(combo, CB_RESETCONTENT, 0, 0);
    char text[192];
    if (mounts.empty()) {
      std::snprintf(text, sizeof text, "No mountpoints: %s", why);
    } else {
      corrections::OrderByDistance(mounts, placed_, latitude_, longitude_);
      for (const corrections::Mountpoint& mount : mounts) {
        corrections::SourceTable::ItemText(mount, text, sizeof text);
        Ch item[192];
        int n = 0;
        for (; text[n] != '\0' && n < 191; ++n) item[n] = Ch(static_cast<unsigned char>(text[n]));
        item[n] = Ch(0);
        SendMessageOf<Ch>(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      std::snprintf(text, sizeof text, "%u mountpoints found", static_cast<unsigned>(mounts.size()));
    }
    SetControlAscii<Ch>(hwnd, IDC_MOUNTPOINT, typed);
    SetControlAscii<Ch>(hwnd, IDC_LIST_STATUS, text);
  }

  net::CasterSettings& settings_;
  bool placed_;
  double latitude_, longitude_;
  net::SourceTableFetch fetch_;
};

}  // namespace trelvane::ui
