#include "pocket/port_list.hpp"

#include <cwchar>

#include "link/port_name.hpp"
#include "link/saved_port.hpp"
#include "nmea/text.hpp"
#include "ce/registry.hpp"
#include "ui/monitor_calls.hpp"

namespace trelvane::pocket {

namespace {

// The driver values are read into 256 bytes, as the handheld reads them, plus
// a terminator of our own: a stored text need not end in one.
constexpr int kValueChars = 128 + 1;
constexpr int kItemChars = 2 * kPortInfoChars + 2;

bool ReadText(HKEY key, const wchar_t* name, wchar_t (&text)[kValueChars]) {
  DWORD bytes = (kValueChars - 1) * sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  text[bytes / sizeof(wchar_t)] = 0;
  return true;
}

// The text after the last "\" of a driver's Key; a "\" in first place does
// not count, and without one the whole Key is the description.
const wchar_t* LastPart(const wchar_t* key) {
  for (int i = TextLength(key, kValueChars) - 1; i >= 1; --i) {
    if (key[i] == L'\\') return key + i + 1;
  }
  return key;
}

// Reads one driver key into `entry`; false when it is no COM port to list.
bool ReadDriver(HKEY key, PortInfo& entry) {
  wchar_t value[kValueChars] = {};
  if (!ReadText(key, L"Name", value) || !ContainsAscii(value, "COM")) return false;
  CopyText(entry.name, kPortInfoChars, value);
  if (ReadText(key, L"PnpId", value)) {
    CopyText(entry.description, kPortInfoChars, value);
    return true;
  }
  if (!ReadText(key, L"Key", value)) return false;
  CopyText(entry.description, kPortInfoChars, LastPart(value));
  return true;
}

// The first item whose text contains `needle`, or CB_ERR.
LRESULT FindItemContaining(HWND combo, const wchar_t* needle) {
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[link::kItemTextChars];
    if (ui::ListItemText(combo, i, item) && std::wcsstr(item, needle) != nullptr) return i;
  }
  return CB_ERR;
}

}  // namespace

void ReadActiveDrivers(PortInfoTable& table) {
  table.portCount = 0;
  for (int n = 0; n <= kLastDriverKey; ++n) {
    wchar_t path[32];
    std::swprintf(path, sizeof path / sizeof path[0], L"\\Drivers\\Active\\%.2d", n);
    HKEY key = nullptr;
    if (ce::OpenKey(HKEY_LOCAL_MACHINE, path, 0, 0, &key) != ERROR_SUCCESS) continue;
    if (table.portCount < kPortInfoEntries) {
      PortInfo entry;
      if (ReadDriver(key, entry)) table.entries[table.portCount++] = entry;
    }
    RegCloseKey(key);
  }
}

void FillPortList(HWND combo, const PortInfoTable& table) {
  wchar_t saved[link::kSavedPortChars];
  const bool savedKnown = link::LoadComPort(saved) == 1;
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  if (table.portCount <= 0) {
    SetWindowTextW(combo, kNoPortText);
    return;
  }
  const int count = table.portCount < kPortInfoEntries ? table.portCount : kPortInfoEntries;
  for (int i = 0; i < count; ++i) {
    wchar_t item[kItemChars];
    TextBuilder<wchar_t> text(item, kItemChars);
    text.AppendText(table.entries[i].name);
    text.AppendAscii("  ");
    text.AppendText(table.entries[i].description);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  LRESULT selection = FindItemContaining(combo, kCompactFlashCard);
  if (selection == CB_ERR) selection = savedKnown ? FindItemContaining(combo, saved) : 0;
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

}  // namespace trelvane::pocket
