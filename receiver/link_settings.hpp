// The numbers the receiver link shares with the main window: its private
// messages and the baud rates the Setup pages offer.
#pragma once

namespace trelvane::receiver {

// Private window messages; the same numbers in both monitor builds.
constexpr unsigned kMsgPowerSaveOn = 1704;
constexpr unsigned kMsgPowerSaveOff = 1705;
constexpr unsigned kMsgWaasOn = 1706;
constexpr unsigned kMsgWaasOff = 1707;
constexpr unsigned kMsgVtgOn = 1708;
constexpr unsigned kMsgVtgOff = 1709;
constexpr unsigned kMsgToggleGps = 2724;
constexpr unsigned kMsgColdStart = 2725;
// Answers how many GDI objects the window code's paint helpers hold (their
// own census: Wine has no per-process GDI count). For monitoring tools
// outside the process, such as scripts/soak; the window changes nothing.
constexpr unsigned kMsgGdiCensus = 2727;
// The lines of one read (and of the few milliseconds after it), sent by the
// reader thread; wParam: the reader's LineBatch (link/line_batch.hpp, which
// says who owns it), lParam: 0. The main window runs the sentence intake on
// each line in order, and answers how many it accepted. (2726 carried one
// line alone once; it is not to be reused.)
constexpr unsigned kMsgNmeaBatch = 2728;
// The receiver family list's selection changed (wParam: the new index), and
// the Identify request (wParam 0). Both go from a Setup page or the
// handheld's Receiver menu to the main window.
constexpr unsigned kMsgChooseFamily = 2740;
constexpr unsigned kMsgIdentify = 2741;

// The baud list's items in list order: the selected index is the table index.
// There is no 19200; 14400 is followed by 38400. The rates of current
// receivers come last (115200 for many, 460800 for a fast-fixing one), so
// every earlier index means what it did.
constexpr int kBaudCount = 11;
constexpr unsigned long kBaudTable[kBaudCount] = {1200,  2400,  4800,   9600,   14400, 38400,
                                                  57600, 115200, 230400, 460800, 921600};

// Both Setup pages start at 4800, the rate NMEA 0183 names.
constexpr int kDefaultBaudIndex = 2;

// The rates of the list in the order a hunt for a receiver tries them (the
// port scan's probe, and the monitor after a port-rate change that did not
// take): the factory rates of today's receivers first, the rarest last.
constexpr int kHuntRates = 11;
constexpr unsigned long kHuntOrder[kHuntRates] = {9600,   38400,  115200, 4800,  57600, 230400,
                                                  460800, 921600, 14400,  2400,  1200};

// The list index of `baud`, or -1 for a rate not in the list.
inline int BaudIndexOf(unsigned long baud) {
  for (int i = 0; i < kBaudCount; ++i) {
    if (kBaudTable[i] == baud) return i;
  }
  return -1;
}

// The rate at `index`, or 0 for an index outside the table (the link then
// refuses to open rather than read past the table).
inline unsigned long BaudRateAt(int index) {
  if (index < 0 || index >= kBaudCount) return 0;
  return kBaudTable[index];
}

}  // namespace trelvane::receiver
