#include "desktop/setup_page.hpp"

namespace trelvane::desktop {

// The Scan Ports dialog and its probe thread are not built yet: no scan runs,
// and the port list keeps its fixed "COM1:" to "COM9:" items.
int RunPortScan(HWND, link::PortTable&) { return 0; }

}  // namespace trelvane::desktop
