#include "tools/driver_platform/win32_platform.hpp"

#include "ce/registry.hpp"

namespace trelvane::tools {

// The handheld ignores the access mask of a registry open (the tools open
// "Drivers\Active" and the adapter's key with 0, each active-driver subkey
// with all access); the handheld platform layer maps that onto Win32, which
// enforces the mask, in the one place the handheld code shares.
LONG Win32DriverRegistry::OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) {
  HKEY opened = nullptr;
  const LONG rc = ce::OpenKey(root, path, 0, access, &opened);
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
