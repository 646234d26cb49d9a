// The handheld's registry, on Win32.
//
// The handheld platform ignores the access mask a key is opened or created
// with, and accepts key paths that start with a backslash. Win32 does
// neither: through a key created with access 0 no value can be set, and a
// leading backslash makes the path invalid. The handheld code calls these
// instead of the Win32 functions and keeps the arguments its platform takes.
#pragma once

#include <windows.h>

namespace trelvane::ce {

LONG CreateKey(HKEY root, const wchar_t* path, DWORD reserved, wchar_t* keyClass, DWORD options, REGSAM access,
               SECURITY_ATTRIBUTES* security, HKEY* key, DWORD* disposition);

LONG OpenKey(HKEY root, const wchar_t* path, DWORD options, REGSAM access, HKEY* key);

}  // namespace trelvane::ce
