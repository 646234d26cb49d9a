#include "pocket/setup_page.hpp"

#include "receiver/link_settings.hpp"
#include "ui/setup_page_routing.hpp"
#include "ui/monitor_calls.hpp"
#include "pocket/resource.h"

namespace trelvane::pocket {

namespace {

// The receiver switches' check boxes, in the order of receiver::kSwitchOn.
constexpr int kSwitchControls[receiver::kSwitchCount] = {IDC_VTG, IDC_POWER_SAVE, IDC_WAAS};

}  // namespace

LRESULT SetupPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  return ui::RouteSetupPage(*this, message, wParam);
}

void SetupPage::Initialise() {
  // The lists' places in page pixels; the heights include the dropped-down lists.
  ui::SetUpPortAndRateLists<wchar_t>(hwnd, IDC_COM_PORT, RECT{70, 10, 235, 140}, IDC_BAUD_RATE,
                                     RECT{70, 32, 235, 140}, receiver::kBaudTable, receiver::kBaudCount,
                                     receiver::kDefaultBaudIndex);
  RescanPorts();
}

void SetupPage::RescanPorts() {
  ReadActiveDrivers(ports);
  RefillPortList();
}

void SetupPage::RefillPortList() { FillPortList(GetDlgItem(hwnd, IDC_COM_PORT), ports); }

void SetupPage::HandleCommand(int id, int) {
  if (ui::PostSwitch<wchar_t>(hwnd, mainWindow, id, kSwitchControls, receiver::kSwitchOn, receiver::kSwitchOff)) return;
  switch (id) {
    case IDC_SCAN:
      RescanPorts();
      break;
    case IDC_COLD_START:
      if (!PostMessageW(mainWindow, receiver::kMsgColdStart, 0, 0)) SetLogText(L"Reset ERROR!!");
      break;
    case IDC_START_GPS:
      ToggleGps();
      break;
    default:
      break;  // the lists' and the log pane's notifications
  }
}

// The request is only queued: gpsRunning still tells the state before it.
// Should the open then fail, the page stays as "Close GPS" and the next press
// asks to open again.
void SetupPage::ToggleGps() {
  if (!PostMessageW(mainWindow, receiver::kMsgToggleGps, 0, 0)) {
    SetLogText(L"ComPort ERROR!!");
    return;
  }
  const bool opening = gpsRunning == 0;
  if (opening) SetLogText(L"");
  EnableCommands(opening);
  EnableControl(IDC_SCAN, !opening);
  SetDlgItemTextW(hwnd, IDC_START_GPS, opening ? L"Close GPS" : L"Start GPS");
}

void SetupPage::ShowLinkClosed() {
  EnableCommands(false);
  EnableControl(IDC_SCAN, true);
  SetDlgItemTextW(hwnd, IDC_START_GPS, L"Start GPS");
}

void SetupPage::SetPlaying(bool playing) {
  EnableControl(IDC_START_GPS, !playing);
  EnableCommands(false);
}

void SetupPage::ShowNetwork(const wchar_t* source, bool writable) {
  writable_ = writable ? 1 : 0;
  HWND portList = GetDlgItem(hwnd, IDC_COM_PORT);
  if (source != nullptr) {
    savedPortItem_ = static_cast<int>(SendMessageW(portList, CB_GETCURSEL, 0, 0));
    SendMessageW(portList, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(portList, source);
  } else {
    SendMessageW(portList, CB_SETCURSEL, static_cast<WPARAM>(savedPortItem_), 0);
  }
  SetDlgItemTextW(hwnd, IDC_START_GPS, L"Start GPS");
  EnableControl(IDC_COM_PORT, source == nullptr);
  EnableControl(IDC_START_GPS, source == nullptr);
  EnableControl(IDC_SCAN, source == nullptr);
  EnableCommands(source != nullptr && writable);
}

void SetupPage::ApplyFamily(receiver::Family inForce) {
  familyInForce = inForce;
  EnableCommands(gpsRunning == 1 && writable_ == 1);
}

void SetupPage::EnableCommands(bool open) {
  EnableControl(IDC_COLD_START, open && receiver::CommandAvailable(familyInForce, receiver::kMsgColdStart));
  for (int s = 0; s < receiver::kSwitchCount; ++s) {
    EnableControl(kSwitchControls[s], open && receiver::CommandAvailable(familyInForce, receiver::kSwitchOn[s]));
  }
}

void SetupPage::ShowLinkState(const wchar_t* state) { shownState_.Show(hwnd, IDC_LINK_STATE, state); }

void SetupPage::EnableControl(int id, bool enable) { EnableWindow(GetDlgItem(hwnd, id), enable ? TRUE : FALSE); }

// The whole pane's text: what a batch still holds would have been wiped.
void SetupPage::SetLogText(const wchar_t* text) { log.SetText(text); }

}  // namespace trelvane::pocket
