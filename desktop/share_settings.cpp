#include "desktop/share_settings.hpp"

#include <windows.h>

#include "handles/owned.hpp"

namespace trelvane::desktop {

namespace {

constexpr char kSettingsKey[] = "Software\\Trelvane";

bool ReadFlag(HKEY key, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
    return false;
  }
  return type == REG_DWORD && value == 1;
}

void WriteFlag(HKEY key, const char* name, bool on) {
  const DWORD value = on ? 1 : 0;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

ShareSettings LoadShareSettings() {
  ShareSettings settings;
  handles::RegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return settings;
  settings.share = ReadFlag(key.Get(), "Share");
  settings.allowOthers = ReadFlag(key.Get(), "AllowOthers");
  return settings;
}

void SaveShareSettings(const ShareSettings& settings) {
  handles::RegistryKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  WriteFlag(key.Get(), "Share", settings.share);
  WriteFlag(key.Get(), "AllowOthers", settings.allowOthers);
}

}  // namespace trelvane::desktop
