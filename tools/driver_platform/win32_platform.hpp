// The driver tools' platform on Win32: the real registry and MessageBoxW.
// Where the handheld's registry differs from Win32's, the handheld platform
// layer (ce/registry.hpp) maps it, for the tools as for the monitor.
#pragma once

#include <windows.h>

#include "tools/driver_platform/tool_platform.hpp"

namespace trelvane::tools {

class Win32DriverRegistry final : public DriverRegistry {
 public:
  LONG OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) override;
  LONG QuerySubkeyCount(HKEY key, DWORD* count) override;
  LONG EnumSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
  LONG QueryValue(HKEY key, const wchar_t* valueName, BYTE* data, DWORD* dataSize) override;
  LONG CloseKey(HKEY key) override;
  LONG DeleteKey(HKEY root, const wchar_t* path) override;
};

class MessageBoxNotifier final : public Notifier {
 public:
  void Show(const wchar_t* text, const wchar_t* caption, UINT style) override;
};

}  // namespace trelvane::tools
