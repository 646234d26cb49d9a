// A registry in memory that answers as Win32's does (case-insensitive paths,
// ERROR_MORE_DATA for short buffers, junk where a call leaves a buffer
// undefined, no delete of a key with subkeys) and records every call, so that
// the tools' order of registry operations can be checked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/driver_platform/tool_platform.hpp"

namespace trelvane::tools::testing {

class FakeRegistry final : public DriverRegistry {
 public:
  // Keys and values under HKEY_LOCAL_MACHINE; subkeys enumerate in the order
  // they were added.
  void AddKey(const std::wstring& path);
  void SetBytes(const std::wstring& path, const std::wstring& name, std::vector<BYTE> bytes);
  // The text's UTF-16 bytes, with or without a terminating zero.
  void SetText(const std::wstring& path, const std::wstring& name, const std::wstring& text, bool terminated = true);
  bool HasKey(const std::wstring& path) const { return Find(path) != nullptr; }

  // Failures the next calls answer with.
  void FailOpen(const std::wstring& path, LONG code) { openFailures_[Lower(path)] = code; }
  void FailQueryInfo(LONG code) { queryInfoFailure_ = code; }
  void FailEnum(DWORD index, LONG code) { enumFailures_[index] = code; }
  void FailDelete(LONG code) { deleteFailure_ = code; }

  // One line per call, such as "open Drivers\Active access 0x0" or
  // "query Key room 80"; and the number of keys open now.
  const std::vector<std::wstring>& Calls() const { return calls_; }
  std::size_t OpenHandles() const { return handles_.size(); }

  LONG OpenKey(HKEY root, const wchar_t* path, DWORD access, HKEY* key) override;
  LONG QuerySubkeyCount(HKEY key, DWORD* count) override;
  LONG EnumSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
  LONG QueryValue(HKEY key, const wchar_t* valueName, BYTE* data, DWORD* dataSize) override;
  LONG CloseKey(HKEY key) override;
  LONG DeleteKey(HKEY root, const wchar_t* path) override;

 private:
  struct Key {
    std::wstring path;
    std::vector<std::pair<std::wstring, std::vector<BYTE>>> values;
  };

  static std::wstring Lower(std::wstring text);
  const Key* Find(const std::wstring& path) const;
  Key* Find(const std::wstring& path);
  std::vector<std::wstring> ChildNames(const std::wstring& path) const;
  const std::wstring* PathOf(HKEY key) const;

  std::vector<Key> keys_;
  std::map<std::uintptr_t, std::wstring> handles_;
  std::uintptr_t nextHandle_ = 0x1000;
  std::map<std::wstring, LONG> openFailures_;
  std::map<DWORD, LONG> enumFailures_;
  LONG queryInfoFailure_ = ERROR_SUCCESS;
  LONG deleteFailure_ = ERROR_SUCCESS;
  std::vector<std::wstring> calls_;
};

// Keeps every message box the logic shows.
struct ShownMessage {
  std::wstring text;
  std::wstring caption;
  UINT style;
};

class RecordingNotifier final : public Notifier {
 public:
  void Show(const wchar_t* text, const wchar_t* caption, UINT style) override {
    shown.push_back({text, caption, style});
  }
  std::vector<ShownMessage> shown;
};

}  // namespace trelvane::tools::testing
