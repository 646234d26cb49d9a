#include "link/saved_port.hpp"

#include <windows.h>

#include "nmea/text.hpp"
#include "ce/registry.hpp"

namespace trelvane::link {

void SaveComPort(const wchar_t* portName) {
  wchar_t keyClass[] = L"test1";
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (ce::CreateKey(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, keyClass, 0, 0, nullptr, &key, &disposition) !=
      ERROR_SUCCESS) {
    return;
  }
  const int length = TextLength(portName, 255);
  RegSetValueExW(key, L"ComPort", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                 static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

int LoadComPort(wchar_t (&portName)[kSavedPortChars]) {
  portName[0] = 0;
  HKEY key = nullptr;
  if (ce::OpenKey(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD bytes = (kSavedPortChars - 1) * sizeof(wchar_t);
  const LONG result = RegQueryValueExW(key, L"ComPort", nullptr, &type, reinterpret_cast<BYTE*>(portName), &bytes);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    portName[0] = 0;
    return 0;
  }
  portName[bytes / sizeof(wchar_t)] = 0;
  return 1;
}

}  // namespace trelvane::link
