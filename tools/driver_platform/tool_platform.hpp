// What the two USB-serial driver tools need of the handheld: its registry and
// a message box. Each tool's logic is written against these two interfaces;
// the programs wire them to the Win32 registry and MessageBoxW
// (win32_platform.hpp), the tests to a fake registry and a recording box.
//
// Calls take the handheld's own arguments (its key paths, its access masks)
// and answer its error codes, so the logic reads as it runs on the device.
#pragma once

#include <windows.h>

namespace trelvane::tools {

class DriverRegistry {
 public:
  virtual ~DriverRegistry() = default;

  // RegOpenKeyEx: opens `path` under `root`; *key is written only on success.
  virtual LONG OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) = 0;
  // RegQueryInfoKey, asking only for the number of subkeys.
  virtual LONG QuerySubkeyCount(HKEY key, DWORD* count) = 0;
  // RegEnumKeyEx: *nameLength is the room in `name` in characters on the way
  // in and the name's length on the way out.
  virtual LONG EnumSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) = 0;
  // RegQueryValueEx: *dataSize is the room in `data` in bytes on the way in
  // and the value's size on the way out. The data need not end in a zero.
  virtual LONG QueryValue(HKEY key, const wchar_t* valueName, BYTE* data, DWORD* dataSize) = 0;
  virtual LONG CloseKey(HKEY key) = 0;
  // RegDeleteKey.
  virtual LONG DeleteKey(HKEY root, const wchar_t* path) = 0;
};

class Notifier {
 public:
  virtual ~Notifier() = default;

  // MessageBox with no owner window; `style` is the icon style.
  virtual void Show(const wchar_t* text, const wchar_t* caption, UINT style) = 0;
};

}  // namespace trelvane::tools
