// What the port-scan tests and the scan benchmark share: the registry's list
// of serial ports set to a chosen list for the test, a device talking on a
// cable's receiver end, and a user working the Scan Ports dialog from another
// thread while the monitor's thread runs the dialog's modal loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "desktop/resource.h"
#include "tests/rig/rig.hpp"

namespace trelvane::test {

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM holding exactly the values given (or no
// key at all); what it held before comes back when this goes.
class SerialCommList {
 public:
  static constexpr const char* kKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

  SerialCommList() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    hadKey_ = true;
    for (DWORD i = 0;; ++i) {
      char name[512], data[512];
      DWORD nameChars = sizeof name, dataBytes = sizeof data - 1, type = 0;
      if (RegEnumValueA(key, i, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes) !=
          ERROR_SUCCESS)
        break;
      data[dataBytes] = '\0';
      saved_.emplace_back(name, data);
    }
    RegCloseKey(key);
  }
  SerialCommList(const SerialCommList&) = delete;
  SerialCommList& operator=(const SerialCommList&) = delete;
  ~SerialCommList() { Write(saved_, hadKey_); }

  // Value i is named so that the registry enumerates the values in the order
  // given; `present` false removes the key itself.
  static bool Set(const std::vector<std::string>& ports, bool present = true) {
    std::vector<std::pair<std::string, std::string>> values;
    for (size_t i = 0; i < ports.size(); ++i) {
      char name[32];
      wsprintfA(name, "\\Device\\Trelvane%02u", static_cast<unsigned>(i));
      values.emplace_back(name, ports[i]);
    }
    return Write(values, present);
  }

 private:
  static bool Write(const std::vector<std::pair<std::string, std::string>>& values, bool present) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    if (!present) return true;
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return false;
    bool ok = true;
    for (const auto& [name, data] : values)
      ok = ok && RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }

  bool hadKey_ = false;
  std::vector<std::pair<std::string, std::string>> saved_;
};

// A device on the receiver end of a cable that writes `text` every
// `periodMs` at `baud` until destroyed: a receiver (sentences; a fix cycle a
// second, as a real one), or another device.
class Talker {
 public:
  Talker(const std::string& receiverPort, std::string text, DWORD baud = 4800, DWORD periodMs = 50)
      : text_(std::move(text)) {
    if (!end_.Open(receiverPort, baud)) return;
    thread_ = std::thread([this, periodMs] {
      while (!stop_) {
        end_.Write(text_);
        for (DWORD waited = 0; waited < periodMs && !stop_; waited += 50) Sleep(50);
      }
    });
  }
  Talker(const Talker&) = delete;
  Talker& operator=(const Talker&) = delete;
  ~Talker() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool IsTalking() const { return thread_.joinable(); }

 private:
  std::string text_;
  rig::ReceiverEnd end_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The user at the Scan Ports dialog, on a thread of its own: every call goes
// to the dialog's controls as a sent message, which the dialog's thread
// handles inside its modal loop (or inside the close's wait).
class ScanUser {
 public:
  explicit ScanUser(DWORD monitorThread) : monitorThread_(monitorThread) {}

  // Waits for the dialog to appear on the monitor's thread.
  bool WaitForDialog(DWORD timeoutMs) {
    return WaitFor([&] { return (dialog_ = FindDialog()) != nullptr; }, timeoutMs);
  }
  HWND Dialog() const { return dialog_; }
  bool DialogGone() const { return !IsWindow(dialog_); }

  std::string Status() const { return Text(GetDlgItem(dialog_, IDC_SCAN_STATUS)); }
  std::vector<std::string> Lines() const {
    HWND list = GetDlgItem(dialog_, IDC_SCAN_LIST);
    std::vector<std::string> lines;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char line[256] = {};
      if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= static_cast<LRESULT>(sizeof line)) break;
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
      lines.emplace_back(line);
    }
    return lines;
  }
  bool WaitForStatus(const std::string& prefix, DWORD timeoutMs) const {
    return WaitFor([&] { return Status().rfind(prefix, 0) == 0; }, timeoutMs);
  }
  // The OK button's click, as the button reports it to the dialog.
  void PressOk() const {
    PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDC_SCAN_OK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_SCAN_OK)));
  }

  // The caption's close box, which the dialog turns into Cancel.
  void PressCloseBox() const { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }

  template <class Done>
  static bool WaitFor(Done done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      if (done()) return true;
      if (GetTickCount64() >= deadline) return false;
      Sleep(5);
    }
  }

 private:
  static std::string Text(HWND hwnd) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
  }
  HWND FindDialog() const {
    HWND found = nullptr;
    EnumThreadWindows(
        monitorThread_,
        [](HWND hwnd, LPARAM result) -> BOOL {
          char caption[32] = {};
          GetWindowTextA(hwnd, caption, sizeof caption);
          if (lstrcmpA(caption, "Scan Ports") != 0) return TRUE;
          *reinterpret_cast<HWND*>(result) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

  DWORD monitorThread_;
  HWND dialog_ = nullptr;
};

}  // namespace trelvane::test
