// drvclean's logic: deletes the USB-serial adapter driver's registration key
// so that the driver is no longer loaded at start-up.
#pragma once

#include "tools/driver_platform/tool_platform.hpp"

namespace trelvane::tools {

// drvclean always exits with 0: its outcome is the message the user saw.
constexpr int kDriverRemovalExit = 0;

// Shows "NO 'USBSER' entry in the Registry!" when the key cannot be opened,
// otherwise deletes it and shows whether that worked; returns the exit code.
int RemoveDriverRegistration(DriverRegistry& registry, Notifier& notifier) noexcept;

}  // namespace trelvane::tools
