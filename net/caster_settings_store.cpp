#include "net/caster_settings_store.hpp"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "handles/owned.hpp"

namespace trelvane::net {
namespace {

constexpr char kKey[] = "Software\\Trelvane\\Corrections";
constexpr DWORD kMostSecretBytes = 4096;

// The settings' key, made when `write`; none when it cannot be had.
handles::RegistryKey OpenKey(bool write) {
  handles::RegistryKey key;
  const LONG status = write ? RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                              key.Receive(), nullptr)
                            : RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.Receive());
  if (status != ERROR_SUCCESS) key.Release();  // what a failed call left there is no key
  return key;
}

// Memory the data-protection calls hand back, freed by its owner.
class LocalBlob {
 public:
  LocalBlob() = default;
  LocalBlob(const LocalBlob&) = delete;
  LocalBlob& operator=(const LocalBlob&) = delete;
  ~LocalBlob() {
    if (blob.pbData != nullptr) {
      SecureZeroMemory(blob.pbData, blob.cbData);
      LocalFree(blob.pbData);
    }
  }
  DATA_BLOB blob{0, nullptr};
};

template <std::size_t N>
void ReadText(HKEY key, const char* name, char (&out)[N]) {
  DWORD type = 0;
  DWORD size = N - 1;
  char value[N] = {};
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return;
  }
  value[N - 1] = '\0';
  std::memcpy(out, value, N);
}

void ReadNumber(HKEY key, const char* name, unsigned& out, unsigned most) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
      type == REG_DWORD && value <= most) {
    out = value;
  }
}

void ReadPassword(HKEY key, char (&out)[sizeof CasterSettings{}.password]) {
  BYTE sealed[kMostSecretBytes];
  DWORD type = 0, size = sizeof sealed;
  if (RegQueryValueExA(key, "Password", nullptr, &type, sealed, &size) != ERROR_SUCCESS || type != REG_BINARY) return;
  DATA_BLOB in{size, sealed};
  LocalBlob open;
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &open.blob)) return;
  if (open.blob.cbData >= sizeof out) return;
  std::memcpy(out, open.blob.pbData, open.blob.cbData);
  out[open.blob.cbData] = '\0';
}

void WriteText(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
}

void WriteNumber(HKEY key, const char* name, unsigned value) {
  const DWORD number = value;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

}  // namespace

CasterSettings LoadCasterSettings() {
  CasterSettings settings;
  const handles::RegistryKey key = OpenKey(false);
  if (key.Get() == nullptr) return settings;
  ReadText(key.Get(), "Host", settings.host);
  ReadText(key.Get(), "Mountpoint", settings.mountpoint);
  ReadText(key.Get(), "User", settings.user);
  ReadNumber(key.Get(), "Port", settings.port, 65535);
  ReadNumber(key.Get(), "GgaSeconds", settings.ggaSeconds, 3600);
  ReadPassword(key.Get(), settings.password);
  return settings;
}

bool SaveCasterSettings(const CasterSettings& settings) {
  const handles::RegistryKey key = OpenKey(true);
  if (key.Get() == nullptr) return false;
  WriteText(key.Get(), "Host", settings.host);
  WriteText(key.Get(), "Mountpoint", settings.mountpoint);
  WriteText(key.Get(), "User", settings.user);
  WriteNumber(key.Get(), "Port", settings.port);
  WriteNumber(key.Get(), "GgaSeconds", settings.ggaSeconds);
  if (settings.password[0] == '\0') {
    RegDeleteValueA(key.Get(), "Password");
    return true;
  }
  char secret[sizeof settings.password];
  std::memcpy(secret, settings.password, sizeof secret);
  DATA_BLOB in{static_cast<DWORD>(std::strlen(secret)), reinterpret_cast<BYTE*>(secret)};
  LocalBlob sealed;
  const BOOL ok = CryptProtectData(&in, L"Trelvane corrections", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                                   &sealed.blob);
  SecureZeroMemory(secret, sizeof secret);
  if (!ok) {
    RegDeleteValueA(key.Get(), "Password");
    return false;
  }
  RegSetValueExA(key.Get(), "Password", 0, REG_BINARY, sealed.blob.pbData, sealed.blob.cbData);
  return true;
}

}  // namespace trelvane::net
