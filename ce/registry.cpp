#include "ce/registry.hpp"

namespace trelvane::ce {

namespace {

// Every right the handheld grants a key, whatever was asked for.
constexpr REGSAM kHandheldAccess = KEY_READ | KEY_WRITE;

const wchar_t* WithoutLeadingBackslash(const wchar_t* path) {
  return (path != nullptr && path[0] == L'\\') ? path + 1 : path;
}

}  // namespace

LONG CreateKey(HKEY root, const wchar_t* path, DWORD reserved, wchar_t* keyClass, DWORD options, REGSAM /*access*/,
               SECURITY_ATTRIBUTES* security, HKEY* key, DWORD* disposition) {
  return RegCreateKeyExW(root, WithoutLeadingBackslash(path), reserved, keyClass, options, kHandheldAccess, security,
                         key, disposition);
}

LONG OpenKey(HKEY root, const wchar_t* path, DWORD options, REGSAM /*access*/, HKEY* key) {
  LONG result = RegOpenKeyExW(root, WithoutLeadingBackslash(path), options, kHandheldAccess, key);
  // Without the right to write there, a key that can be read is still opened.
  if (result == ERROR_ACCESS_DENIED) result = RegOpenKeyExW(root, WithoutLeadingBackslash(path), options, KEY_READ, key);
  return result;
}

}  // namespace trelvane::ce
