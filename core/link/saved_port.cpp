#include "core/link/saved_port.hpp"

#include <windows.h>

#include "core/nmea/text.hpp"
#include "pocket/ce/registry.hpp"

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

}  // namespace trelvane::link
