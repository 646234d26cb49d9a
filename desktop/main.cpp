// trelvane.exe: the desktop monitor's entry. One copy at a time: a second
// start brings the running window forward and ends.
#include <windows.h>

#include "desktop/main_window.hpp"
#include "desktop/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  using namespace trelvane;
  desktop::MainWindow window;
  ui::SetModuleInstance(instance);

  char className[512];
  char title[512];
  desktop::LoadModuleString(IDS_APP_TITLE, className, sizeof className);
  desktop::LoadModuleString(IDS_APP_TITLE, title, sizeof title);
  if (HWND running = FindWindowA(className, title)) {
    SetForegroundWindow(running);
    return 0;
  }
  if (window.Create(showCommand) == 0) return 0;

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) desktop::DispatchWithAccelerators(msg, accelerators);
  return static_cast<int>(msg.wParam);
}
