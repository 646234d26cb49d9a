// Where bytes for the receiver go as they stand (a corrections frame, a
// binary command): the link's port, whose writes take turns whole with the
// window's commands.
#pragma once

#include "sync/stop_gate.hpp"

namespace trelvane::link {

// What became of a write.
constexpr int kBytesWritten = 1;  // all of them went
constexpr int kBytesRefused = 0;  // none went: a network receiver being reconnected takes nothing
constexpr int kBytesCut = -1;     // not all went: the link closed, the port stalled, or the writer stopped

// A long write goes to a port in slices of at most this much wire time, so
// that a link closing, or a writer being stopped, waits for one slice at most.
constexpr unsigned long kWriteSliceMs = 20;

class PortBytes {
 public:
  // Writes `bytes` whole, in its turn, to the open link; kBytes*. A writer of its own
  // (the corrections' feeder) passes its `stop` gate: once it closes, what
  // is left of the bytes is not written.
  virtual int WriteFrame(const unsigned char* bytes, int length, const sync::StopGate* stop) = 0;
  // The port's rate, which paces a writer of its own; 0 for a link without one.
  virtual unsigned long Baud() const = 0;

 protected:
  ~PortBytes() = default;
};

// The bytes of one slice at `baud`: kWriteSliceMs of wire time, ten bits a
// byte, and never fewer than 8.
inline int SliceBytes(unsigned long baud) {
  const unsigned long bytes = baud / 10 * kWriteSliceMs / 1000;
  return bytes < 8 ? 8 : static_cast<int>(bytes);
}

}  // namespace trelvane::link
