// One port written from two threads, the window's (the seven jobs, the rate
// commands) and the corrections feeder's: each write goes out whole, in its
// turn, so that a command never lands inside an RTCM frame or a frame
// inside a command. A turn is one write; nobody waits for one longer than
// kWriteTurnMs (a frame at 4800 baud takes about 2 s), and a write that
// cannot get its turn is not made.
//
// A write goes to the port in slices of kWriteSliceMs on the wire, each a
// spell of the writers' gate, which the link closes before it closes the
// port: closing waits for one slice at most, and no slice starts after it.
#pragma once

#include <chrono>
#include <mutex>

#include "link/port_bytes.hpp"
#include "sync/stop_gate.hpp"

namespace trelvane::link {

constexpr int kWriteTurnMs = 2500;

class WriteTurn {
 public:
  // Writes `bytes` whole at `baud`, in the turn, through `writeSlice(from,
  // size, &written)`, which answers as WriteFile does. Gives up between
  // slices once `stop` (may be null) or the writers' gate is closed, and
  // after a slice the port did not take whole (it stalled). kBytes*.
  template <class WriteSlice>
  int Write(const unsigned char* bytes, int length, unsigned long baud, const sync::StopGate* stop,
            WriteSlice writeSlice) {
    if (length <= 0) return kBytesWritten;
    std::unique_lock<std::timed_mutex> turn(turn_, std::chrono::milliseconds(kWriteTurnMs));
    if (!turn.owns_lock()) return kBytesCut;
    const int slice = SliceBytes(baud);
    for (int at = 0; at < length;) {
      if (stop != nullptr && stop->Closed()) return kBytesCut;
      if (!writers_.Enter()) return kBytesCut;  // the link is closing
      const unsigned long size = static_cast<unsigned long>(length - at < slice ? length - at : slice);
      unsigned long written = 0;
      const bool ok = writeSlice(bytes + at, size, &written);
      writers_.Leave();
      at += static_cast<int>(written);
      if (!ok || written < size) return kBytesCut;
    }
    return kBytesWritten;
  }

  // The link opened: writes may start.
  void Open() { writers_.Reopen(); }
  // The link is closing: no slice starts from here.
  void Close() { writers_.Close(); }
  // After Close: returns once a slice under way has ended.
  void WaitOut() const { writers_.WaitOut(); }

 private:
  std::timed_mutex turn_;
  sync::StopGate writers_{false};
};

}  // namespace trelvane::link
