// Whether the receiver is shared, and with whom: remembered for the next
// start as DWORD values Share and AllowOthers (1 or 0) under
// HKEY_CURRENT_USER\Software\Trelvane.
#pragma once

namespace trelvane::desktop {

struct ShareSettings {
  bool share = false;        // File > Share Receiver
  bool allowOthers = false;  // File > Allow Other Computers: every interface, not only 127.0.0.1
};

// What was saved; off for a value that is missing.
ShareSettings LoadShareSettings();
void SaveShareSettings(const ShareSettings& settings);

}  // namespace trelvane::desktop
