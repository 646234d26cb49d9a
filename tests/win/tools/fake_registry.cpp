#include "tests/win/tools/fake_registry.hpp"

#include <algorithm>
#include <cwctype>
#include <string>

namespace trelvane::tools::testing {
namespace {

constexpr BYTE kJunk = 0xCC;

std::wstring Hex(DWORD value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%lx", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

std::wstring FakeRegistry::Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

void FakeRegistry::AddKey(const std::wstring& path) {
  // As in the registry, a key brings its parents into being.
  const std::size_t lastSeparator = path.rfind(L'\\');
  if (lastSeparator != std::wstring::npos) AddKey(path.substr(0, lastSeparator));
  if (Find(path) == nullptr) keys_.push_back({path, {}});
}

void FakeRegistry::SetBytes(const std::wstring& path, const std::wstring& name, std::vector<BYTE> bytes) {
  AddKey(path);
  Find(path)->values.emplace_back(name, std::move(bytes));
}

void FakeRegistry::SetText(const std::wstring& path, const std::wstring& name, const std::wstring& text,
                           bool terminated) {
  const std::size_t chars = text.size() + (terminated ? 1 : 0);
  const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
  SetBytes(path, name, std::vector<BYTE>(first, first + chars * sizeof(wchar_t)));
}

const FakeRegistry::Key* FakeRegistry::Find(const std::wstring& path) const {
  for (const Key& key : keys_) {
    if (Lower(key.path) == Lower(path)) return &key;
  }
  return nullptr;
}

FakeRegistry::Key* FakeRegistry::Find(const std::wstring& path) {
  return const_cast<Key*>(static_cast<const FakeRegistry*>(this)->Find(path));
}

std::vector<std::wstring> FakeRegistry::ChildNames(const std::wstring& path) const {
  const std::wstring prefix = Lower(path) + L"\\";
  std::vector<std::wstring> names;
  for (const Key& key : keys_) {
    const std::wstring name = key.path.substr(std::min(prefix.size(), key.path.size()));
    if (Lower(key.path).compare(0, prefix.size(), prefix) == 0 && name.find(L'\\') == std::wstring::npos) {
      names.push_back(name);
    }
  }
  return names;
}

const std::wstring* FakeRegistry::PathOf(HKEY key) const {
  auto it = handles_.find(reinterpret_cast<std::uintptr_t>(key));
  return it == handles_.end() ? nullptr : &it->second;
}

LONG FakeRegistry::OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) {
  calls_.push_back(L"open " + std::wstring(path) + L" access " + Hex(access));
  if (root != HKEY_LOCAL_MACHINE || path[0] == L'\\') return ERROR_BAD_PATHNAME;
  auto failure = openFailures_.find(Lower(path));
  if (failure != openFailures_.end()) return failure->second;
  const Key* found = Find(path);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  handles_[nextHandle_] = found->path;
  *key = reinterpret_cast<HKEY>(nextHandle_++);
  return ERROR_SUCCESS;
}

LONG FakeRegistry::QuerySubkeyCount(HKEY key, DWORD* count) {
  calls_.push_back(L"info");
  const std::wstring* path = PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  if (queryInfoFailure_ != ERROR_SUCCESS) return queryInfoFailure_;
  *count = static_cast<DWORD>(ChildNames(*path).size());
  return ERROR_SUCCESS;
}

LONG FakeRegistry::EnumSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
  calls_.push_back(L"enum " + std::to_wstring(index) + L" room " + std::to_wstring(*nameLength));
  const std::wstring* path = PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  auto failure = enumFailures_.find(index);
  if (failure != enumFailures_.end()) return failure->second;
  const std::vector<std::wstring> names = ChildNames(*path);
  if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
  const std::wstring& child = names[index];
  if (child.size() >= *nameLength) return ERROR_MORE_DATA;
  std::copy(child.begin(), child.end(), name);
  name[child.size()] = L'\0';
  *nameLength = static_cast<DWORD>(child.size());
  return ERROR_SUCCESS;
}

LONG FakeRegistry::QueryValue(HKEY key, const wchar_t* valueName, BYTE* data, DWORD* dataSize) {
  calls_.push_back(L"query " + std::wstring(valueName) + L" room " + std::to_wstring(*dataSize));
  const std::wstring* path = PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  for (const auto& [name, bytes] : Find(*path)->values) {
    if (Lower(name) != Lower(valueName)) continue;
    // Junk in the whole room: Win32 leaves it undefined after a short
    // buffer and untouched past the data.
    std::fill(data, data + *dataSize, kJunk);
    const bool fits = bytes.size() <= *dataSize;
    if (fits) std::copy(bytes.begin(), bytes.end(), data);
    *dataSize = static_cast<DWORD>(bytes.size());
    return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG FakeRegistry::CloseKey(HKEY key) {
  const std::wstring* path = PathOf(key);
  if (path == nullptr) return ERROR_INVALID_HANDLE;
  calls_.push_back(L"close " + *path);
  handles_.erase(reinterpret_cast<std::uintptr_t>(key));
  return ERROR_SUCCESS;
}

LONG FakeRegistry::DeleteKey(HKEY root, const wchar_t* path) {
  calls_.push_back(L"delete " + std::wstring(path));
  if (root != HKEY_LOCAL_MACHINE || path[0] == L'\\') return ERROR_BAD_PATHNAME;
  if (deleteFailure_ != ERROR_SUCCESS) return deleteFailure_;
  const Key* found = Find(path);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!ChildNames(path).empty()) return ERROR_ACCESS_DENIED;
  keys_.erase(keys_.begin() + (found - keys_.data()));
  return ERROR_SUCCESS;
}

}  // namespace trelvane::tools::testing
