// portname.exe: shows the COM port of the USB-serial adapter's driver.
#include <windows.h>

#include "tools/driver_platform/win32_platform.hpp"
#include "tools/portname/port_name_report.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  trelvane::tools::Win32DriverRegistry registry;
  trelvane::tools::MessageBoxNotifier notifier;
  return trelvane::tools::ReportPortName(registry, notifier);
}
