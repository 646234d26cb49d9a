// trelvane-pocket.exe: the handheld monitor's entry. It does not start while
// "tarnwick.exe" runs, and one copy at a time: a second start brings the
// running window forward and ends.
#include <windows.h>

#include "pocket/main_window.hpp"
#include "pocket/resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
  using namespace trelvane;
  pocket::MainWindow window;
  if (window.InitInstance(instance, showCommand) == 0) return 0;

  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) pocket::DispatchWithAccelerators(msg, accelerators);
  return static_cast<int>(msg.wParam);
}
