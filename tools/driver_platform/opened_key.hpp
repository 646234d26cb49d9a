// Owner of one key opened through a DriverRegistry: closes it when told to or,
// at the latest, when it goes out of scope.
#pragma once

#include <windows.h>

#include "tools/driver_platform/tool_platform.hpp"

namespace trelvane::tools {

class OpenedKey {
 public:
  explicit OpenedKey(DriverRegistry& registry) : registry_(registry) {}
  ~OpenedKey() { Close(); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  // Closes a key held before; holds the new one only if the open succeeds.
  LONG Open(HKEY root, const wchar_t* path, DWORD access) {
    Close();
    HKEY opened = nullptr;
    const LONG rc = registry_.OpenKey(root, path, access, &opened);
    if (rc == ERROR_SUCCESS) key_ = opened;
    return rc;
  }

  HKEY Get() const { return key_; }

  void Close() {
    if (key_ == nullptr) return;
    registry_.CloseKey(key_);
    key_ = nullptr;
  }

 private:
  DriverRegistry& registry_;
  HKEY key_ = nullptr;
};

}  // namespace trelvane::tools
