// The desktop monitor's table of known ports: how many the port list offers,
// and what the last scan found on each. The Setup page starts it at 9 (its
// fixed "COM1:" to "COM9:" list, whose names are not kept here); a scan
// refills it with up to 20 ports in the order the system lists them.
#pragma once

namespace trelvane::link {

constexpr int kPortEntries = 20;
constexpr int kPortTextChars = 64;
constexpr int kFixedPortCount = 9;

struct PortEntry {
  char name[kPortTextChars] = {};    // "COM3:"
  char status[kPortTextChars] = {};  // empty, "GPS Receiver", "GPS Receiver at 38400", "NO GPS Receiver" or "NO DEVICE"
  int listPosition = 0;              // the line of the scan's sorted list it was probed on
  unsigned long receiverBaud = 0;    // the rate a receiver was found at; 0 for no receiver
};

struct PortTable {
  signed char portCount = 0;
  PortEntry entries[kPortEntries];
};

}  // namespace trelvane::link
