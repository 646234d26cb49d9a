#include "desktop/corrections_dialog.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "desktop/resource.h"

namespace trelvane::desktop {
namespace {

void SetNumber(HWND dialog, int id, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", value);
  SetDlgItemTextA(dialog, id, text);
}

// A whole number from `id` within [least, most]; false for anything else.
bool ReadNumber(HWND dialog, int id, unsigned least, unsigned most, unsigned& out) {
  char text[16] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (text[0] < '0' || text[0] > '9' || *end != '\0' || value < least || value > most) return false;
  out = static_cast<unsigned>(value);
  return true;
}

}  // namespace

LRESULT CorrectionsDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Initialise();
      return 1;
    case link::kMsgSourceTable:
      ShowList();
      return 1;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_GET_LIST:
          GetList();
          return 1;
        case IDOK: {
          link::CasterSettings chosen = settings_;
          if (!ReadControls(chosen, true)) return 1;
          settings_ = chosen;
          EndDialog(hwnd, IDOK);
          return 1;
        }
        case IDCANCEL:
          EndDialog(hwnd, IDCANCEL);
          return 1;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

void CorrectionsDialog::Initialise() {
  SendDlgItemMessageA(hwnd, IDC_CASTER_HOST, EM_LIMITTEXT, sizeof settings_.host - 1, 0);
  SendDlgItemMessageA(hwnd, IDC_MOUNTPOINT, CB_LIMITTEXT, sizeof settings_.mountpoint - 1, 0);
  SendDlgItemMessageA(hwnd, IDC_CASTER_USER, EM_LIMITTEXT, sizeof settings_.user - 1, 0);
  SendDlgItemMessageA(hwnd, IDC_CASTER_PASSWORD, EM_LIMITTEXT, sizeof settings_.password - 1, 0);
  SetDlgItemTextA(hwnd, IDC_CASTER_HOST, settings_.host);
  SetNumber(hwnd, IDC_CASTER_PORT, settings_.port);
  SetDlgItemTextA(hwnd, IDC_MOUNTPOINT, settings_.mountpoint);
  SetDlgItemTextA(hwnd, IDC_CASTER_USER, settings_.user);
  SetDlgItemTextA(hwnd, IDC_CASTER_PASSWORD, settings_.password);
  SetNumber(hwnd, IDC_GGA_SECONDS, settings_.ggaSeconds);
}

bool CorrectionsDialog::ReadControls(link::CasterSettings& into, bool needMount) {
  GetDlgItemTextA(hwnd, IDC_CASTER_HOST, into.host, sizeof into.host);
  char mount[128] = {};
  GetDlgItemTextA(hwnd, IDC_MOUNTPOINT, mount, sizeof mount);
  corrections::SourceTable::NameOfItem(mount, into.mountpoint, sizeof into.mountpoint);
  GetDlgItemTextA(hwnd, IDC_CASTER_USER, into.user, sizeof into.user);
  GetDlgItemTextA(hwnd, IDC_CASTER_PASSWORD, into.password, sizeof into.password);
  if (into.host[0] == '\0') {
    SetStatus("Type the caster's name");
    return false;
  }
  if (!ReadNumber(hwnd, IDC_CASTER_PORT, 1, 65535, into.port)) {
    SetStatus("The port is a number from 1 to 65535");
    return false;
  }
  if (!ReadNumber(hwnd, IDC_GGA_SECONDS, 0, 3600, into.ggaSeconds)) {
    SetStatus("Send the position every 0 to 3600 s");
    return false;
  }
  if (needMount && into.mountpoint[0] == '\0') {
    SetStatus("Pick or type a mountpoint");
    return false;
  }
  return true;
}

void CorrectionsDialog::GetList() {
  link::CasterSettings asked = settings_;
  if (!ReadControls(asked, false)) return;
  if (!fetch_.Start(hwnd, asked)) {
    SetStatus("The list could not be fetched");
    return;
  }
  EnableWindow(GetDlgItem(hwnd, IDC_GET_LIST), FALSE);
  SetStatus("Fetching the list...");
}

void CorrectionsDialog::ShowList() {
  std::vector<corrections::Mountpoint> mounts;
  char why[128];
  if (!fetch_.Result(mounts, why, sizeof why)) return;
  EnableWindow(GetDlgItem(hwnd, IDC_GET_LIST), TRUE);
  HWND combo = GetDlgItem(hwnd, IDC_MOUNTPOINT);
  char typed[128] = {};
  GetWindowTextA(combo, typed, sizeof typed);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  if (mounts.empty()) {
    char text[160];
    std::snprintf(text, sizeof text, "No mountpoints: %s", why);
    SetStatus(text);
    SetWindowTextA(combo, typed);
    return;
  }
  corrections::OrderByDistance(mounts, placed_, latitude_, longitude_);
  for (const corrections::Mountpoint& mount : mounts) {
    char item[160];
    corrections::SourceTable::ItemText(mount, item, sizeof item);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SetWindowTextA(combo, typed);
  char text[64];
  std::snprintf(text, sizeof text, "%u mountpoints found", static_cast<unsigned>(mounts.size()));
  SetStatus(text);
}

void CorrectionsDialog::SetStatus(const char* text) { SetDlgItemTextA(hwnd, IDC_LIST_STATUS, text); }

}  // namespace trelvane::desktop
