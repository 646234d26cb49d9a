// The handheld's COM ports: read from the system's table of active drivers
// (HKEY_LOCAL_MACHINE "\Drivers\Active\00" to "\Drivers\Active\100"), shown
// in the Setup page's port list as "name  description", with a CompactFlash
// GPS card preferred, else the port opened last.
#pragma once

#include <windows.h>

namespace trelvane::pocket {

constexpr int kPortInfoChars = 64;
constexpr int kPortInfoEntries = 20;
constexpr int kLastDriverKey = 100;
// A port whose list item contains this is the GPS card, chosen before any other.
constexpr wchar_t kCompactFlashCard[] = L"CF_CARD-GENERIC-A569";
constexpr wchar_t kNoPortText[] = L"No Com Port Find!!";

struct PortInfo {
  wchar_t name[kPortInfoChars] = {};         // "COM1:"
  wchar_t description[kPortInfoChars] = {};  // the driver's PnpId, or the last part of its Key
};

struct PortInfoTable {
  PortInfo entries[kPortInfoEntries];
  signed char portCount = 0;
};

// Rebuilds `table` from the active drivers, in key order: each driver whose
// Name contains "COM" and that has a PnpId or a Key, the first 20 of them.
// Values longer than a field are cut to fit it.
void ReadActiveDrivers(PortInfoTable& table);

// Refills the port list `combo` from `table` and selects the card, else the
// saved port (no selection when it is not listed), else the first item. An
// empty table leaves the list empty with kNoPortText in its edit field.
void FillPortList(HWND combo, const PortInfoTable& table);

}  // namespace trelvane::pocket
