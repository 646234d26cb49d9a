// trelvane-pocket.exe: the handheld monitor's entry. It does not start while
// "tarnwick.exe" runs, and one copy at a time: a second start brings the
// running window forward, hands it the file it was started with
// (trelvane-pocket.exe FILE), and ends.
#include <windows.h>

#include "pocket/main_window.hpp"
#include "pocket/resource.h"
#include "ui/file_calls.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
  using namespace trelvane;
  pocket::MainWindow window;
  wchar_t file[ui::kPathChars];
  const bool withFile = ui::CommandLineFile(commandLine, file);
  if (window.InitInstance(instance, showCommand, withFile ? file : nullptr) == 0) return 0;

  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) pocket::DispatchWithAccelerators(msg, accelerators);
  return static_cast<int>(msg.wParam);
}
