// portname's logic: finds the COM port under which the USB-serial adapter's
// driver is active and tells the user in a message box.
#pragma once

#include "tools/driver_platform/tool_platform.hpp"

namespace trelvane::tools {

// Exit codes of portname: a result was shown, or an error was.
constexpr int kPortNameResult = 0;
constexpr int kPortNameError = 1;

// Walks the handheld's table of active drivers for the subkey whose "Key" is
// the adapter's registration key, shows its "Name" ("Port Name: COM5:") or
// "No device found!", or the registry failure that stopped the walk, and
// returns the exit code.
int ReportPortName(DriverRegistry& registry, Notifier& notifier) noexcept;

}  // namespace trelvane::tools
