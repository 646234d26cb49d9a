// The port name a port list item stands for: its text up to and including the
// first ":" ("COM3:  GPS Receiver" opens "COM3:"); a text without ":" is used
// whole. Items are read into a buffer of kItemTextChars, so at most 255
// characters of an item count.
#pragma once

namespace trelvane::link {

constexpr int kItemTextChars = 256;

// Writes the port name of `itemText` into `name` (capacity `capacity`,
// terminator included), cutting what does not fit.
template <class Ch>
void CutPortName(const Ch* itemText, Ch* name, int capacity) {
  if (capacity <= 0) return;
  int n = 0;
  while (n < capacity - 1 && itemText[n] != Ch(0)) {
    name[n] = itemText[n];
    ++n;
    if (itemText[n - 1] == Ch(':')) break;
  }
  name[n] = Ch(0);
}

}  // namespace trelvane::link
