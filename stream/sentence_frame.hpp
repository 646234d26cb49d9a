// What the link's write operation puts on the line for one sentence: the text,
// each unit narrowed to its low byte, then CR LF; no terminating zero. The
// desktop frames into a 256-byte buffer, the handheld into a 128-byte one; a
// text too long for the buffer is cut so that CR LF and a zero still fit.
#pragma once

namespace trelvane::stream {

constexpr int kDesktopWriteBytes = 256;
constexpr int kHandheldWriteBytes = 128;

// Returns the number of bytes to write from `frame`.
template <class Ch>
int FrameSentence(const Ch* text, char* frame, int capacity) {
  if (capacity < 3) return 0;
  int n = 0;
  while (n < capacity - 3 && text[n] != Ch(0)) {
    frame[n] = static_cast<char>(static_cast<unsigned>(text[n]) & 0xFFu);
    ++n;
  }
  frame[n] = '\r';
  frame[n + 1] = '\n';
  frame[n + 2] = 0;
  return n + 2;
}

}  // namespace trelvane::stream
