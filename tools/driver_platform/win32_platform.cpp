#include "tools/driver_platform/win32_platform.hpp"

namespace trelvane::tools {

// The handheld ignores the access mask of a registry open: a key opened with
// mask 0 (as the tools open "Drivers\Active" and the adapter's registration
// key) can be enumerated and read, and one opened with all access (as the
// tools open each active-driver subkey) never fails for want of rights.
// Win32 enforces the mask: through a key opened with 0 the enumeration and the
// value reads fail with ERROR_ACCESS_DENIED, and all access on
// HKEY_LOCAL_MACHINE is refused to a user who is not an administrator. Through
// their keys the tools only query, enumerate and read (the delete goes by path
// from the root), so every handheld mask becomes KEY_READ: what the handheld
// would have let them do with the key.
REGSAM Win32Access(DWORD /*handheldAccess*/) { return KEY_READ; }

LONG Win32DriverRegistry::OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) {
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExW(root, path, 0, Win32Access(access), &opened);
  if (rc == ERROR_SUCCESS) *key = opened;
  return rc;
}

LONG Win32DriverRegistry::QuerySubkeyCount(HKEY key, DWORD* count) {
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, count, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr);
}

LONG Win32DriverRegistry::EnumSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
  return RegEnumKeyExW(key, index, name, nameLength, nullptr, nullptr, nullptr, nullptr);
}

LONG Win32DriverRegistry::QueryValue(HKEY key, const wchar_t* valueName, BYTE* data, DWORD* dataSize) {
  return RegQueryValueExW(key, valueName, nullptr, nullptr, data, dataSize);
}

LONG Win32DriverRegistry::CloseKey(HKEY key) { return RegCloseKey(key); }

LONG Win32DriverRegistry::DeleteKey(HKEY root, const wchar_t* path) { return RegDeleteKeyW(root, path); }

void MessageBoxNotifier::Show(const wchar_t* text, const wchar_t* caption, UINT style) {
  MessageBoxW(nullptr, text, caption, style);
}

}  // namespace trelvane::tools
