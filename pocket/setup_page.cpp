#include "pocket/setup_page.hpp"

#include <cwchar>

#include "link/link_settings.hpp"
#include "ui/monitor_calls.hpp"
#include "pocket/resource.h"

namespace trelvane::pocket {

namespace {

// Each rate text in a slot of 16 units, in list order: the index is the rate's
// place in the baud table.
constexpr wchar_t kBaudItems[link::kBaudCount][16] = {L"1200",  L"2400",  L"4800",  L"9600",
                                                           L"14400", L"38400", L"57600", L"115200",
                                                           L"230400", L"460800", L"921600"};
constexpr int kDefaultBaudIndex = 2;  // 4800

// The lists' places in page pixels; the heights include the dropped-down list.
constexpr RECT kPortComboRect = {70, 10, 235, 140};
constexpr RECT kBaudComboRect = {70, 32, 235, 140};

}  // namespace

LRESULT SetupPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Initialise();
      return 1;
    case WM_COMMAND:
      HandleCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == LOG_FLUSH_TIMER_ID) {
        KillTimer(hwnd, LOG_FLUSH_TIMER_ID);
        log.Flush();
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      return 0;  // WM_DESTROY included: the page frees nothing
  }
}

void SetupPage::Initialise() {
  HWND bauds = GetDlgItem(hwnd, IDC_BAUD_RATE);
  ui::PlaceControl(GetDlgItem(hwnd, IDC_COM_PORT), kPortComboRect);
  ui::PlaceControl(bauds, kBaudComboRect);
  SendMessageW(bauds, CB_RESETCONTENT, 0, 0);
  for (const wchar_t* item : kBaudItems) SendMessageW(bauds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageW(bauds, CB_SETCURSEL, kDefaultBaudIndex, 0);
  RescanPorts();
}

void SetupPage::RescanPorts() {
  ReadActiveDrivers(ports);
  RefillPortList();
}

void SetupPage::RefillPortList() { FillPortList(GetDlgItem(hwnd, IDC_COM_PORT), ports); }

void SetupPage::HandleCommand(int id) {
  switch (id) {
    case IDC_SCAN:
      RescanPorts();
      break;
    case IDC_COLD_START:
      if (!PostMessageW(mainWindow, link::kMsgColdStart, 0, 0)) SetLogText(L"Reset ERROR!!");
      break;
    case IDC_START_GPS:
      ToggleGps();
      break;
    case IDC_POWER_SAVE:
      PostSwitch(id, link::kMsgPowerSaveOn, link::kMsgPowerSaveOff);
      break;
    case IDC_WAAS:
      PostSwitch(id, link::kMsgWaasOn, link::kMsgWaasOff);
      break;
    case IDC_VTG:
      PostSwitch(id, link::kMsgVtgOn, link::kMsgVtgOff);
      break;
    default:
      break;  // the lists' and the log pane's notifications
  }
}

// The request is only queued: gpsRunning still tells the state before it.
// Should the open then fail, the page stays as "Close GPS" and the next press
// asks to open again.
void SetupPage::ToggleGps() {
  if (!PostMessageW(mainWindow, link::kMsgToggleGps, 0, 0)) {
    SetLogText(L"ComPort ERROR!!");
    return;
  }
  const bool opening = gpsRunning == 0;
  if (opening) SetLogText(L"");
  EnableCommands(opening);
  EnableControl(IDC_SCAN, !opening);
  SetDlgItemTextW(hwnd, IDC_START_GPS, opening ? L"Close GPS" : L"Start GPS");
}

void SetupPage::ApplyFamily(link::Family inForce) {
  familyInForce = inForce;
  EnableCommands(gpsRunning == 1);
}

void SetupPage::EnableCommands(bool open) {
  EnableControl(IDC_COLD_START, open && link::CommandAvailable(familyInForce, link::kMsgColdStart));
  EnableControl(IDC_POWER_SAVE, open && link::CommandAvailable(familyInForce, link::kMsgPowerSaveOn));
  EnableControl(IDC_WAAS, open && link::CommandAvailable(familyInForce, link::kMsgWaasOn));
  EnableControl(IDC_VTG, open && link::CommandAvailable(familyInForce, link::kMsgVtgOn));
}

// The automatic check box has already toggled itself when its click arrives.
void SetupPage::PostSwitch(int id, UINT onMessage, UINT offMessage) {
  const bool checked = SendDlgItemMessageW(hwnd, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
  PostMessageW(mainWindow, checked ? onMessage : offMessage, 0, 0);
}

void SetupPage::ShowLinkState(const wchar_t* state) {
  if (std::wcsncmp(state, shownState_, kStateChars) == 0) return;
  std::swprintf(shownState_, kStateChars, L"%ls", state);
  SetDlgItemTextW(hwnd, IDC_LINK_STATE, shownState_);
}

void SetupPage::EnableControl(int id, bool enable) { EnableWindow(GetDlgItem(hwnd, id), enable ? TRUE : FALSE); }

// The whole pane's text: what a batch still holds would have been wiped.
void SetupPage::SetLogText(const wchar_t* text) { log.SetText(text); }

void SetupPage::RequestLogFlushOf(void* page) {
  HWND window = static_cast<SetupPage*>(page)->hwnd;
  if (window != nullptr) {
    SetTimer(window, LOG_FLUSH_TIMER_ID, ui::LogFlushDelayMs(static_cast<SetupPage*>(page)->log.LastFlushLines()),
             nullptr);
  }
}

}  // namespace trelvane::pocket
