#include "pocket/port_list.hpp"

#include <cwchar>

#include "handles/owned.hpp"
#include "link/port_list_values.hpp"
#include "link/port_name.hpp"
#include "link/saved_port.hpp"
#include "nmea/text.hpp"
#include "ce/registry.hpp"
#include "ui/monitor_calls.hpp"

namespace trelvane::pocket {

namespace {

constexpr int kItemChars = 2 * kPortInfoChars + 2;

// Reads value `name` of a driver key: absent when the registry gives none
// or it is longer than the 256 bytes the handheld reads.
void ReadValue(HKEY key, const wchar_t* name, link::DriverValue<wchar_t>& value) {
  wchar_t data[link::kDriverValueChars - 1];
  DWORD bytes = sizeof data;
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS) return;
  value.Set(data, bytes);
}

// Reads one driver key into `entry`; false when it is no COM port to list.
bool ReadDriver(HKEY key, PortInfo& entry) {
  link::DriverValue<wchar_t> name, pnpId, keyPath;
  ReadValue(key, L"Name", name);
  ReadValue(key, L"PnpId", pnpId);
  ReadValue(key, L"Key", keyPath);
  return link::ActiveDriverPort(name, pnpId, keyPath, entry.name, entry.description);
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
    handles::RegistryKey key;
    if (ce::OpenKey(HKEY_LOCAL_MACHINE, path, 0, 0, key.Receive()) != ERROR_SUCCESS) {
      key.Release();  // what a failed call left there is no key
      continue;
    }
    if (table.portCount < kPortInfoEntries) {
      PortInfo entry;
      if (ReadDriver(key.Get(), entry)) table.entries[table.portCount++] = entry;
    }
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
    nmea::TextBuilder<wchar_t> text(item, kItemChars);
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
