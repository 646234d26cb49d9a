// trelvane.exe: the desktop monitor's entry. One copy at a time: a second
// start brings the running window forward, hands it the file it was started
// with (trelvane.exe FILE: a dropped file, "Open with"), and ends.
#include <windows.h>

#include "desktop/main_window.hpp"
#include "desktop/resource.h"
#include "ui/file_calls.hpp"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  using namespace trelvane;
  desktop::MainWindow window;
  ui::SetModuleInstance(instance);

  char className[512];
  char title[512];
  desktop::LoadModuleString(IDS_APP_TITLE, className, sizeof className);
  desktop::LoadModuleString(IDS_APP_TITLE, title, sizeof title);
  char file[ui::kPathChars];
  const bool withFile = ui::CommandLineFile(commandLine, file);
  if (HWND running = FindWindowA(className, title)) {
    SetForegroundWindow(running);
    if (withFile) ui::HandOverFile(running, file);
    return 0;
  }
  if (window.Create(showCommand) == 0) return 0;
  if (withFile) window.OpenSource(file);

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) desktop::DispatchWithAccelerators(msg, accelerators);
  return static_cast<int>(msg.wParam);
}
