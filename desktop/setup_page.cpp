#include "desktop/setup_page.hpp"

#include <cstdio>
#include <cstring>

#include "receiver/link_settings.hpp"
#include "ui/setup_page_routing.hpp"
#include "ui/monitor_calls.hpp"
#include "desktop/resource.h"

namespace trelvane::desktop {

namespace {

constexpr const char* kFixedPorts[link::kFixedPortCount] = {"COM1:", "COM2:", "COM3:", "COM4:", "COM5:",
                                                            "COM6:", "COM7:", "COM8:", "COM9:"};
constexpr char kReceiverStatus[] = "GPS Receiver";
constexpr int kReceiverStatusChars = sizeof kReceiverStatus - 1;

// "GPS Receiver", or "GPS Receiver at 38400" for one found at another rate.
bool IsReceiverStatus(const char* status) {
  return std::strncmp(status, kReceiverStatus, kReceiverStatusChars) == 0 &&
         (status[kReceiverStatusChars] == '\0' || status[kReceiverStatusChars] == ' ');
}

// The receiver switches' check boxes, in the order of receiver::kSwitchOn.
constexpr int kSwitchControls[receiver::kSwitchCount] = {IDC_VTG, IDC_POWER_SAVE, IDC_WAAS};

}  // namespace

LRESULT SetupPage::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  return ui::RouteSetupPage(*this, message, wParam);
}

void SetupPage::Initialise() {
  // The lists' places in page pixels; the heights include the dropped-down lists.
  ui::SetUpPortAndRateLists<char>(hwnd, IDC_COM_PORT, RECT{100, 0, 280, 140}, IDC_BAUD_RATE, RECT{100, 30, 280, 140},
                                  receiver::kBaudTable, receiver::kBaudCount, receiver::kDefaultBaudIndex);
  HWND ports = GetDlgItem(hwnd, IDC_COM_PORT);
  SendMessageA(ports, CB_RESETCONTENT, 0, 0);
  for (const char* item : kFixedPorts) SendMessageA(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageA(ports, CB_SETCURSEL, 0, 0);
  portTable.portCount = link::kFixedPortCount;
  // The family list keeps the table's order: the selected index is the family.
  for (const char* item : receiver::kFamilyItems) {
    SendDlgItemMessageA(hwnd, IDC_FAMILY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SendDlgItemMessageA(hwnd, IDC_FAMILY, CB_SETCURSEL, 0, 0);
  // A stock font: the system owns it, nothing is to be released.
  SendDlgItemMessageA(hwnd, IDC_CORRECTIONS, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void SetupPage::HandleCommand(int id, int notification) {
  if (id == IDC_FAMILY && notification == CBN_SELCHANGE) {
    SendMessageA(mainWindow, receiver::kMsgChooseFamily, SendDlgItemMessageA(hwnd, IDC_FAMILY, CB_GETCURSEL, 0, 0), 0);
  }
  if (ui::PostSwitch<char>(hwnd, mainWindow, id, kSwitchControls, receiver::kSwitchOn, receiver::kSwitchOff)) return;
  switch (id) {
    case IDC_SCAN:
      EnableControl(IDC_START_GPS, false);
      EnableControl(IDC_SCAN, false);
      ScanOperation();
      EnableControl(IDC_SCAN, true);
      EnableControl(IDC_START_GPS, playing == 0);
      break;
    case IDC_COLD_START:
      ColdStart();
      break;
    case IDC_START_GPS:
      ToggleGps();
      break;
    case IDC_IDENTIFY:
      SendMessageA(mainWindow, receiver::kMsgIdentify, 0, 0);
      break;
    default:
      break;  // the lists' and the log pane's notifications
  }
}

// The main window opens or closes the link and sets gpsRunning; the controls
// follow from the answer. Check marks stay as they are, and opening or
// closing sends the receiver nothing.
void SetupPage::ToggleGps() {
  if (SendMessageA(mainWindow, receiver::kMsgToggleGps, 0, 0) == 0) {
    SetLogText("ComPort ERROR!!");
    return;
  }
  if (gpsRunning == 1) SetLogText("");
  FollowLink();
}

void SetupPage::FollowLink() {
  const bool running = gpsRunning == 1;
  EnableControl(IDC_SCAN, !running);
  SetDlgItemTextA(hwnd, IDC_START_GPS, running ? "Close GPS" : "Start GPS");
  ApplyFamily(familyInForce);
}

void SetupPage::ShowNetwork(const char* source, bool canWrite) {
  writable = canWrite ? 1 : 0;
  FollowLink();
  HWND ports = GetDlgItem(hwnd, IDC_COM_PORT);
  if (source != nullptr) {
    savedPortItem_ = static_cast<int>(SendMessageA(ports, CB_GETCURSEL, 0, 0));
    SendMessageA(ports, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextA(ports, source);
    SetDlgItemTextA(hwnd, IDC_START_GPS, "Start GPS");
  } else {
    SendMessageA(ports, CB_SETCURSEL, static_cast<WPARAM>(savedPortItem_), 0);
  }
  EnableControl(IDC_COM_PORT, source == nullptr);
  EnableControl(IDC_START_GPS, source == nullptr && playing == 0);
}

void SetupPage::ApplyFamily(receiver::Family inForce) {
  familyInForce = inForce;
  const bool running = gpsRunning == 1 && writable == 1;
  EnableControl(IDC_COLD_START, running && receiver::CommandAvailable(inForce, receiver::kMsgColdStart));
  for (int s = 0; s < receiver::kSwitchCount; ++s) {
    EnableControl(kSwitchControls[s], running && receiver::CommandAvailable(inForce, receiver::kSwitchOn[s]));
  }
  EnableControl(IDC_IDENTIFY, running);
}

void SetupPage::ShowReceiverName(const char* name) { SetDlgItemTextA(hwnd, IDC_RECEIVER_NAME, name); }

void SetupPage::ColdStart() {
  if (SendMessageA(mainWindow, receiver::kMsgColdStart, 0, 0) == 0) SetLogText("Reset ERROR!!");
}

void SetupPage::ScanOperation() {
  if (gpsRunning == 1 || scanning == 1) return;
  EnableControl(IDC_START_GPS, false);
  scanning = 1;
  if (RunPortScan(hwnd, portTable) == 1) RefillPortList();
  scanning = 0;
  EnableControl(IDC_START_GPS, playing == 0);
}

void SetupPage::RefillPortList() {
  HWND ports = GetDlgItem(hwnd, IDC_COM_PORT);
  SendMessageA(ports, CB_RESETCONTENT, 0, 0);
  if (portTable.portCount <= 0) {
    SetWindowTextA(ports, "No Com Port Find!!");
    return;
  }
  const int count = portTable.portCount < link::kPortEntries ? portTable.portCount : link::kPortEntries;
  for (int i = 0; i < count; ++i) {
    const link::PortEntry& entry = portTable.entries[i];
    char item[2 * link::kPortTextChars + 2];
    std::snprintf(item, sizeof item, "%.63s  %.63s", entry.name, entry.status);
    SendMessageA(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  int selection = 0;
  unsigned long receiverBaud = 0;
  for (int i = 0; i < count; ++i) {
    if (IsReceiverStatus(portTable.entries[i].status)) {
      selection = portTable.entries[i].listPosition;
      receiverBaud = portTable.entries[i].receiverBaud;
      break;
    }
  }
  SendMessageA(ports, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  // The rate list follows the selected receiver to the rate it talked at.
  for (int index = 0; index < receiver::kBaudCount; ++index) {
    if (receiverBaud != 0 && receiver::BaudRateAt(index) == receiverBaud)
      SendDlgItemMessageA(hwnd, IDC_BAUD_RATE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
}

void SetupPage::ShowLinkHealth(const char* state, const char* counts) {
  shownState_.Show(hwnd, IDC_LINK_STATE, state);
  shownCounts_.Show(hwnd, IDC_LINK_COUNTS, counts);
}

void SetupPage::ShowShared(const char* text) { shownShared_.Show(hwnd, IDC_SHARED, text); }

void SetupPage::EnableControl(int id, bool enable) { EnableWindow(GetDlgItem(hwnd, id), enable ? TRUE : FALSE); }

// The whole pane's text: what a batch still holds would have been wiped.
void SetupPage::SetLogText(const char* text) { log.SetText(text); }

}  // namespace trelvane::desktop
