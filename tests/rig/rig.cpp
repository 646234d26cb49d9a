// Winsock must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/rig/rig.hpp"

#include <cstdio>
#include <cstdlib>

#include "link/line_batch.hpp"
#include "receiver/link_settings.hpp"

namespace trelvane::rig {

namespace {

// One request to the rig server (scripts/cable-rig); returns its answer line.
std::string AskRig(const std::string& request) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return "error winsock";
  std::string answer = "error no rig server";
  char port[16] = "47205";
  GetEnvironmentVariableA("TRELVANE_RIG_PORT", port, sizeof(port));
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    std::string line = request + "\n";
    send(s, line.data(), static_cast<int>(line.size()), 0);
    answer.clear();
    char c = 0;
    while (recv(s, &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
  }
  if (s != INVALID_SOCKET) closesocket(s);
  WSACleanup();
  return answer;
}

}  // namespace

Cable::Cable(int programCom, int receiverCom) : com_(programCom), receiverCom_(receiverCom) { Restore(); }

Cable::~Cable() { Vanish(); }

bool Cable::Vanish() {
  if (pid_ <= 0) return false;
  const bool ok = AskRig("close " + std::to_string(pid_)) == "ok";
  pid_ = 0;
  return ok;
}

bool Cable::Restore() {
  if (pid_ > 0) return true;
  const std::string answer = AskRig("open " + std::to_string(com_) + " " + std::to_string(receiverCom_));
  if (answer.rfind("ok ", 0) != 0) return false;
  pid_ = atoi(answer.c_str() + 3);
  return pid_ > 0;
}

std::string Cable::ProgramPort() const { return "COM" + std::to_string(com_) + ":"; }
std::wstring Cable::ProgramPortW() const { return L"COM" + std::to_wstring(com_) + L":"; }
std::string Cable::ReceiverPort() const { return "\\\\.\\COM" + std::to_string(receiverCom_); }

bool ReceiverEnd::Open(const std::string& port, DWORD baud) {
  Close();
  handle_ = CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  DCB dcb = {};
  dcb.DCBlength = sizeof(dcb);
  GetCommState(handle_, &dcb);
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  SetCommState(handle_, &dcb);
  COMMTIMEOUTS timeouts = {MAXDWORD, MAXDWORD, 50, 0, 1000};
  SetCommTimeouts(handle_, &timeouts);
  return true;
}

void ReceiverEnd::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

bool ReceiverEnd::Write(const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReceiverEnd::Read(size_t count, DWORD timeoutMs) {
  std::string got;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (got.size() < count && GetTickCount64() < deadline) {
    char buffer[256];
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(count - got.size() < sizeof(buffer) ? count - got.size() : sizeof(buffer));
    if (!ReadFile(handle_, buffer, want, &n, nullptr)) break;
    got.append(buffer, n);
  }
  return got;
}

LineWindow::LineWindow(bool wide) : wide_(wide) {
  static const wchar_t kClass[] = L"TrelvaneLineWindow";
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClass;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
  hwnd_ = CreateWindowExW(0, kClass, L"line window", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                          windowClass.hInstance, nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LineWindow::~LineWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

LRESULT CALLBACK LineWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<LineWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == receiver::kMsgNmeaBatch) {
    // The link's own delivery, so that a batch cut by a close is cut here too.
    int lines = 0;
    auto onLine = [self, &lines](const auto* text, int) {
      ++lines;
      self->Record(text);
    };
    if (self->wide_) {
      link::DeliverBatch(*reinterpret_cast<const link::LineBatch<wchar_t>*>(wParam), onLine, [](const unsigned char*, int) {});
    } else {
      link::DeliverBatch(*reinterpret_cast<const link::LineBatch<char>*>(wParam), onLine, [](const unsigned char*, int) {});
    }
    self->batchSizes.push_back(lines);
    return lines;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void LineWindow::Record(const void* delivered) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  std::string line;
  if (wide_) {
    const wchar_t* text = static_cast<const wchar_t*>(delivered);
    for (size_t i = 0; i < 4096; ++i) {
      if (text[i] > 0xFF) sawWideUnit = true;
      line.push_back(static_cast<char>(text[i]));
      if (text[i] == 0) break;
    }
  } else {
    const char* text = static_cast<const char*>(delivered);
    for (size_t i = 0; i < 4096; ++i) {
      line.push_back(text[i]);
      if (text[i] == 0) break;
    }
  }
  lines.push_back(line);
  arrivals.push_back(now.QuadPart);
  if (onLine != nullptr) onLine(onLineContext);
}

bool LineWindow::WaitForLines(size_t count, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (lines.size() < count) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

void LineWindow::Pump(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

}  // namespace trelvane::rig
