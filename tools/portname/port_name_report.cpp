#include "tools/portname/port_name_report.hpp"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "tools/driver_platform/opened_key.hpp"

namespace trelvane::tools {
namespace {

constexpr wchar_t kCaption[] = L"Notification";
constexpr wchar_t kActiveDrivers[] = L"Drivers\\Active";
constexpr wchar_t kActiveDriverPrefix[] = L"Drivers\\Active\\";
// Held as 8-bit text: the "Key" value is narrowed before it is compared.
constexpr char kAdapterRegistration[] = "Drivers\\BuiltIn\\USBSER";

// Access masks as the handheld gets them; the platform maps them.
constexpr DWORD kListAccess = 0;
constexpr DWORD kSubkeyAccess = 0xF003F;

constexpr DWORD kMessageChars = 80;
constexpr DWORD kNameChars = 80;
// Room for the prefix and the longest name the enumeration can hand back.
constexpr DWORD kPathChars = sizeof kActiveDriverPrefix / sizeof(wchar_t) - 1 + kNameChars;
constexpr DWORD kValueBytes = 80;
constexpr DWORD kValueChars = kValueBytes / sizeof(wchar_t);

int ShowError(Notifier& notifier, const wchar_t* text) {
  notifier.Show(text, kCaption, MB_ICONERROR);
  return kPortNameError;
}

int ShowErrorCode(Notifier& notifier, const wchar_t* format, LONG code) {
  wchar_t message[kMessageChars];
  std::swprintf(message, kMessageChars, format, static_cast<long>(code));
  return ShowError(notifier, message);
}

// Reads a text value of at most kValueBytes bytes. The registry does not
// promise a terminating zero (a value of exactly 80 bytes has no room for
// one), so one is put after the last whole character read; `text` has room
// for it beyond the 80 bytes.
LONG ReadTextValue(DriverRegistry& registry, HKEY key, const wchar_t* valueName, wchar_t (&text)[kValueChars + 1]) {
  DWORD size = kValueBytes;
  const LONG rc = registry.QueryValue(key, valueName, reinterpret_cast<BYTE*>(text), &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (size > kValueBytes) size = kValueBytes;
  text[size / sizeof(wchar_t)] = L'\0';
  return ERROR_SUCCESS;
}

// Narrows the "Key" text on the ANSI code page and compares it, case and all,
// with the adapter's registration key. Text that does not narrow into the
// buffer cannot be that key.
bool IsAdapterRegistration(const wchar_t* keyText) {
  char narrow[kValueBytes + 1] = "";
  const int length = static_cast<int>(std::wcslen(keyText));
  if (length > 0) {
    const int written = WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, keyText, length, narrow,
                                            static_cast<int>(kValueBytes), nullptr, nullptr);
    if (written <= 0) return false;
    narrow[written] = '\0';
  }
  return std::strcmp(narrow, kAdapterRegistration) == 0;
}

}  // namespace

int ReportPortName(DriverRegistry& registry, Notifier& notifier) noexcept {
  OpenedKey list(registry);
  if (list.Open(HKEY_LOCAL_MACHINE, kActiveDrivers, kListAccess) != ERROR_SUCCESS) {
    return ShowError(notifier, L"RegOpenKeyEx ERROR!");
  }
  DWORD subkeyCount = 0;
  if (registry.QuerySubkeyCount(list.Get(), &subkeyCount) != ERROR_SUCCESS) {
    return ShowError(notifier, L"RegQueryInfoKey ERROR!");
  }

  wchar_t value[kValueChars + 1] = L"";
  bool found = false;
  for (DWORD index = 0; index < subkeyCount && !found; ++index) {
    wchar_t name[kNameChars];
    DWORD nameLength = kNameChars;
    LONG rc = registry.EnumSubkey(list.Get(), index, name, &nameLength);
    if (rc != ERROR_SUCCESS) return ShowErrorCode(notifier, L"RegEnumKeyEx ERROR! - %ld", rc);
    name[nameLength < kNameChars ? nameLength : kNameChars - 1] = L'\0';

    wchar_t path[kPathChars];
    std::swprintf(path, kPathChars, L"%ls%ls", kActiveDriverPrefix, name);
    OpenedKey subkey(registry);
    rc = subkey.Open(HKEY_LOCAL_MACHINE, path, kSubkeyAccess);
    if (rc != ERROR_SUCCESS) return ShowErrorCode(notifier, L"RegOpenKeyEx ERROR! - %ld", rc);

    rc = ReadTextValue(registry, subkey.Get(), L"Key", value);
    if (rc != ERROR_SUCCESS) return ShowErrorCode(notifier, L"RegQueryValueEx ERROR 1! - %ld", rc);
    if (!IsAdapterRegistration(value)) continue;  // the subkey closes as it goes out of scope

    rc = ReadTextValue(registry, subkey.Get(), L"Name", value);
    if (rc != ERROR_SUCCESS) return ShowErrorCode(notifier, L"RegQueryValueEx ERROR 2! - %ld", rc);
    found = true;
  }
  list.Close();

  wchar_t message[kMessageChars] = L"No device found!";
  if (found) std::swprintf(message, kMessageChars, L"Port Name: %ls", value);
  notifier.Show(message, kCaption, MB_ICONINFORMATION);
  return kPortNameResult;
}

}  // namespace trelvane::tools
