// drvclean.exe: removes the USB-serial adapter driver's registration.
#include <windows.h>

#include "tools/driver_platform/win32_platform.hpp"
#include "tools/drvclean/driver_removal.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  trelvane::tools::Win32DriverRegistry registry;
  trelvane::tools::MessageBoxNotifier notifier;
  return trelvane::tools::RemoveDriverRegistration(registry, notifier);
}
