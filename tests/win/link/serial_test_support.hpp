// Small pieces the serial link tests share: a real edit control as the log
// pane, a real sentence as the links deliver it, waiting for closed links'
// readers to end, and reading a port's settings back.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "nmea/sinks.hpp"

namespace trelvane::test {

// A multi-line read-only edit control, the way the Setup page's log pane is.
template <class Ch>
class EditLogPane final : public nmea::LogPane<Ch> {
 public:
  EditLogPane() {
    hwnd_ = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 300, 200,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  EditLogPane(const EditLogPane&) = delete;
  EditLogPane& operator=(const EditLogPane&) = delete;
  ~EditLogPane() { DestroyWindow(hwnd_); }

  int LineCount() override { return static_cast<int>(SendMessageW(hwnd_, EM_GETLINECOUNT, 0, 0)); }
  void SetText(const Ch* text) override {
    if constexpr (sizeof(Ch) == 1) SetWindowTextA(hwnd_, text);
    else SetWindowTextW(hwnd_, text);
  }
  void ReplaceSelection(const Ch* text) override {
    if constexpr (sizeof(Ch) == 1) SendMessageA(hwnd_, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    else SendMessageW(hwnd_, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
  }
  std::string Text() const {
    char buffer[8192] = {};
    GetWindowTextA(hwnd_, buffer, sizeof(buffer));
    return buffer;
  }

 private:
  HWND hwnd_;
};

inline const std::string kGsa = "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";

// A line as the window receives it: its bytes, line end included, and a zero.
inline std::string Delivered(const std::string& bytes) { return bytes + std::string(1, '\0'); }

// Waits up to `timeoutMs` for at most `count` readers of a kind of link to be
// left running (`running` is that link's RunningReaders).
inline bool WaitForReaders(int (*running)(), int count, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (running() <= count) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

// The settings of `port` as a second open of it sees them (Wine does not
// refuse the second open, and both reach the same terminal).
inline bool ReadBackSettings(const char* port, DCB* dcb) {
  HANDLE handle = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  dcb->DCBlength = sizeof(DCB);
  const BOOL ok = GetCommState(handle, dcb);
  CloseHandle(handle);
  return ok != 0;
}

// The rig library's record of break and setting requests (tests/README.md).
class SerialRequestLog {
 public:
  SerialRequestLog() {
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("TRELVANE_RIG_SERIAL_LOG", path, sizeof(path)) > 0) path_ = path;
  }
  bool Available() const { return !path_.empty(); }
  void Clear() { std::ofstream(UnixToWine(path_), std::ios::trunc); }
  std::string Text() const {
    std::ifstream in(UnixToWine(path_));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static std::string UnixToWine(const std::string& path) { return "Z:" + path; }
  std::string path_;
};

}  // namespace trelvane::test
