#include "link/saved_port.hpp"

#include <windows.h>

#include "handles/owned.hpp"
#include "nmea/text.hpp"
#include "ce/registry.hpp"

namespace trelvane::link {

void SaveComPort(const wchar_t* portName) {
  wchar_t keyClass[] = L"test1";
  handles::RegistryKey key;
  DWORD disposition = 0;
  if (ce::CreateKey(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, keyClass, 0, 0, nullptr, key.Receive(),
                    &disposition) != ERROR_SUCCESS) {
    key.Release();  // what a failed call left there is no key
    return;
  }
  const int length = nmea::TextLength(portName, 255);
  RegSetValueExW(key.Get(), L"ComPort", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                 static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
}

int LoadComPort(wchar_t (&portName)[kSavedPortChars]) {
  portName[0] = 0;
  handles::RegistryKey key;
  if (ce::OpenKey(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    key.Release();  // what a failed call left there is no key
    return 0;
  }
  DWORD type = 0;
  DWORD bytes = (kSavedPortChars - 1) * sizeof(wchar_t);
  const LONG result =
      RegQueryValueExW(key.Get(), L"ComPort", nullptr, &type, reinterpret_cast<BYTE*>(portName), &bytes);
  if (result != ERROR_SUCCESS) {
    portName[0] = 0;
    return 0;
  }
  portName[bytes / sizeof(wchar_t)] = 0;
  return 1;
}

}  // namespace trelvane::link
