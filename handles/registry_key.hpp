// An open registry key, owned as kernel handles are (handles/owned.hpp):
// whoever holds it closes it once, on every path out.
#pragma once

#include <windows.h>

#include "handles/owned.hpp"

namespace trelvane::handles {

struct RegistryKeyKind {
  using Handle = HKEY;
  static constexpr HKEY kNone = nullptr;
  static bool Valid(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

using RegistryKey = Owned<RegistryKeyKind>;

}  // namespace trelvane::handles
