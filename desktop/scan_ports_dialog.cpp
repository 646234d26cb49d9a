#include "desktop/scan_ports_dialog.hpp"

#include <cstdio>
#include <cstring>

#include "link/port_list_values.hpp"
#include "link/reader_census.hpp"
#include "receiver/link_settings.hpp"
#include "handles/owned.hpp"
#include "desktop/resource.h"
#include "desktop/setup_page.hpp"

namespace trelvane::desktop {

namespace {

constexpr char kSerialPortsKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM\\";
constexpr int kRegistryIndexes = 20;
constexpr char kArrow[] = "        ------>  ";
constexpr int kLineChars = 128;
constexpr DWORD kValueNameChars = 512;

link::ReaderCensus scanThreads;


// Line `line` of `list` into `text`; false when it does not fit.
bool FetchLine(HWND list, int line, char (&text)[kLineChars]) {
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(line), 0);
  if (length < 0 || length >= kLineChars) return false;
  return SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text)) != LB_ERR;
}

}  // namespace

ScanPortsDialog::~ScanPortsDialog() = default;

int ScanPortsDialog::RunningScans() { return scanThreads.Running(); }

LRESULT ScanPortsDialog::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    Initialise();
    return 1;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDC_SCAN_OK || LOWORD(wParam) == IDCANCEL)) {
    Close(LOWORD(wParam));
    return 1;
  }
  return 0;
}

void ScanPortsDialog::Initialise() {
  table_.portCount = 0;
  for (link::PortEntry& entry : table_.entries) {
    entry.status[0] = '\0';
    entry.receiverBaud = 0;
  }
  ListPorts();
  lineCount_ = table_.portCount;
  finished.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!finished.Valid()) return;
  if (lineCount_ > 0) {
    StartScanThread();
  } else {
    SetEvent(finished.Get());  // no thread to wait for when the dialog closes
  }
}

// Reading is all the scan does, and a user without administrator rights is
// refused any more than that on this key.
void ScanPortsDialog::ListPorts() {
  handles::RegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialPortsKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return;
  HWND list = GetDlgItem(hwnd, IDC_SCAN_LIST);
  for (DWORD index = 0; index < kRegistryIndexes; ++index) {
    char valueName[kValueNameChars];
    DWORD nameChars = kValueNameChars;
    if (RegEnumValueA(key.Get(), index, valueName, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    char data[link::kSerialCommValueBytes];
    DWORD dataBytes = sizeof data;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataBytes) !=
        ERROR_SUCCESS)
      continue;
    // The list shows the entry's cut name, so that the scan thread finds the
    // entry by its line.
    link::PortEntry& entry = table_.entries[table_.portCount];
    if (!link::SerialCommPortName(data, dataBytes, entry.name)) continue;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.name));
    ++table_.portCount;
  }
}

void ScanPortsDialog::StartScanThread() {
  scanThreads.Starting();
  // The thread holds its own reference to the dialog; `finished` tells its end.
  const bool started = scan_.Start([dialog = shared_from_this()](sync::StopGate&) mutable {
    ScanThread(*dialog);
    dialog.reset();
    scanThreads.Ended();
  });
  if (!started) {
    scanThreads.Ended();
    SetEvent(finished.Get());  // nothing to wait for
  }
}

// Messages the scan thread sends to the controls are handled while this
// waits, so a thread between two steps always reaches its end.
void ScanPortsDialog::Close(int id) {
  if (Ended()) return;
  stopRequested = 1;
  SetDlgItemTextA(hwnd, IDC_SCAN_STATUS, "Break Scan.");
  const ULONGLONG deadline = GetTickCount64() + closeWaitMs;
  const HANDLE waitOn = finished.Get();
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    const DWORD woke = MsgWaitForMultipleObjects(1, &waitOn, FALSE, left, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) break;  // finished, timed out or failed
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // handles the sent ones only
  }
  // Joined when it has ended; otherwise left to end on its own, with its
  // own reference to the dialog.
  scan_.Stop(std::chrono::milliseconds(0));
  AcquireSRWLockExclusive(&guard_);
  ended_ = true;
  ReleaseSRWLockExclusive(&guard_);
  EndDialog(hwnd, id);
}

void ScanPortsDialog::StoreResult(const char* text, const char* status, unsigned long receiverBaud, int line) {
  AcquireSRWLockExclusive(&guard_);
  if (!ended_) {
    for (int i = 0; i < table_.portCount && i < link::kPortEntries; ++i) {
      link::PortEntry& entry = table_.entries[i];
      if (std::strncmp(entry.name, text, sizeof entry.name) != 0) continue;
      std::snprintf(entry.status, sizeof entry.status, "%s", status);
      entry.receiverBaud = receiverBaud;
      entry.listPosition = line;
      break;
    }
  }
  ReleaseSRWLockExclusive(&guard_);
}

int ScanThread(ScanPortsDialog& dialog) {
  HWND list = GetDlgItem(dialog.hwnd, IDC_SCAN_LIST);
  for (int line = 0; line < dialog.LineCount() && dialog.stopRequested.load() == 0; ++line) {
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    char text[kLineChars];
    if (!FetchLine(list, line, text)) break;
    char status[link::kPortTextChars];
    const link::ProbeOutcome outcome = ProbePort(dialog, text, status);
    dialog.StoreResult(text, status, outcome.result == link::ReceiverFound ? outcome.baud : 0, line);
    if (dialog.Ended()) break;
    // An insertion at an index keeps its place even in the sorted list.
    char probed[kLineChars];
    std::snprintf(probed, sizeof probed, "%s%s%s", text, kArrow, status);
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(line), 0);
    SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(probed));
  }
  if (!dialog.Ended()) SetDlgItemTextA(dialog.hwnd, IDC_SCAN_STATUS, "Complete Scan.");
  SetEvent(dialog.finished.Get());
  return 1;
}

namespace {

struct Announced {
  ScanPortsDialog* dialog;
  const char* name;
};

// "<rate> scanning <name>" on the status line, before each rate is tried.
void AnnounceRate(void* context, unsigned long baud) {
  const Announced& announced = *static_cast<const Announced*>(context);
  char line[kLineChars];
  std::snprintf(line, sizeof line, "%lu scanning %s", baud, announced.name);
  if (!announced.dialog->Ended()) SetDlgItemTextA(announced.dialog->hwnd, IDC_SCAN_STATUS, line);
}

}  // namespace

link::ProbeOutcome ProbePort(ScanPortsDialog& dialog, const char* name, char (&status)[link::kPortTextChars]) {
  const int index = static_cast<int>(SendDlgItemMessageA(dialog.parent, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0));
  const unsigned long baud = receiver::BaudRateAt(index);
  link::ProbeOutcome outcome;  // no rate selected: nothing to listen at, no device
  Announced announced{&dialog, name};
  if (baud != 0) {
    AnnounceRate(&announced, baud);
    outcome = link::ListenForReceiver(name, baud, dialog.stopRequested, link::RateAnnouncer{&AnnounceRate, &announced});
  }
  link::FormatProbeStatus(outcome, baud, status, link::kPortTextChars);
  return outcome;
}

int RunPortScan(HWND page, link::PortTable& table) {
  auto dialog = std::make_shared<ScanPortsDialog>(page, table);
  ui::RunModal(*dialog, IDD_SCAN, page);
  // A dialog that never started (no template) changed nothing.
  return dialog->hwnd != nullptr ? 1 : 0;
}

}  // namespace trelvane::desktop
