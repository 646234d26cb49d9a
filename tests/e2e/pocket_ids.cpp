#include "pocket/resource.h"
#include "tests/e2e/monitor_ids.hpp"

const MonitorIds kPocketIds = {IDC_LOG, IDC_COM_PORT, IDC_BAUD_RATE, IDC_SCAN, IDM_ABOUT};
