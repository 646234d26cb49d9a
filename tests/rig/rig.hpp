// The virtual-cable rig as a Windows test program sees it (tests/README.md):
// cables from the rig server, the receiver's end of a cable, and a real
// window that collects the lines a serial link delivers to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace trelvane::rig {

// A null-modem cable between COM<programCom> (the monitor's port, 5 to 9, so
// that its plain name "COMn:" opens) and COM<receiverCom> (the receiver's end,
// opened as "\\.\COMn"). Removed when destroyed.
class Cable {
 public:
  Cable(int programCom, int receiverCom);
  Cable(const Cable&) = delete;
  Cable& operator=(const Cable&) = delete;
  ~Cable();

  bool IsUp() const { return pid_ > 0; }
  // Kills the cable's socat: both ends vanish, as an unplugged receiver.
  bool Vanish();
  // Brings the cable back under the same names.
  bool Restore();

  std::string ProgramPort() const;   // "COM5:"
  std::wstring ProgramPortW() const;
  std::string ReceiverPort() const;  // "\\.\COM15"

 private:
  int com_;
  int receiverCom_;
  int pid_ = 0;
};

// The receiver's end of a cable, opened by the test with the Win32 API.
class ReceiverEnd {
 public:
  ReceiverEnd() = default;
  ReceiverEnd(const ReceiverEnd&) = delete;
  ReceiverEnd& operator=(const ReceiverEnd&) = delete;
  ~ReceiverEnd() { Close(); }

  bool Open(const std::string& port, DWORD baud);
  void Close();
  bool Write(const std::string& bytes);
  // Reads until `count` bytes came or `timeoutMs` passed; returns what came.
  std::string Read(size_t count, DWORD timeoutMs);
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A top-level window of the test's own that records each delivered line, in
// the order the messages (single lines or batches) arrive (8-bit or UTF-16, narrowed for comparison).
class LineWindow {
 public:
  explicit LineWindow(bool wide);
  LineWindow(const LineWindow&) = delete;
  LineWindow& operator=(const LineWindow&) = delete;
  ~LineWindow();

  HWND Handle() const { return hwnd_; }
  // Handles messages until `count` lines are in or `timeoutMs` passed.
  bool WaitForLines(size_t count, DWORD timeoutMs);
  // Handles messages for `ms` (for checks that nothing arrives).
  void Pump(DWORD ms);

  // Each line as delivered, up to and including its terminating zero.
  std::vector<std::string> lines;
  // Set when a UTF-16 line held a unit above 0xFF.
  bool sawWideUnit = false;
  // Delivery time of each line (QueryPerformanceCounter).
  std::vector<LONGLONG> arrivals;
  // How many lines each message delivered, in arrival order.
  std::vector<int> batchSizes;
  // Called inside the handling of each line, after it was recorded.
  void (*onLine)(void* context) = nullptr;
  void* onLineContext = nullptr;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Record(const void* delivered);
  HWND hwnd_ = nullptr;
  bool wide_;
};

// CPU time (kernel + user) of the whole process so far, in milliseconds.
double ProcessCpuMs();

}  // namespace trelvane::rig
