// The one way a thread that works in short spells (a reader inside a call on
// its port, a reader handing a read to the recorder) is stopped by another
// (the window closing the link or the recording). The worker enters a
// spell only while the gate is open; the stopper closes the gate and then
// waits until the worker is out of its spell, after which the worker never
// touches what the gate guards again.
//
// Why it is right: each side writes its own flag and then reads the other's,
// all sequentially consistent. If the worker's Enter read "open", its own
// "inside" was written before the stopper's "closed", so the stopper's
// WaitOut sees it inside and waits; otherwise the worker sees "closed" and
// backs out.
//
// The wait is as long as one spell: every worker's spell is bounded (a read
// slice, a copy), which is what makes the wait short; nothing here waits on
// a spell of unbounded length.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace trelvane::sync {

class StopGate {
 public:
  // A spell of any kind, for WaitOut.
  static constexpr int kAnySpell = 0;

  explicit StopGate(bool open = true) : closed_(!open) {}
  StopGate(const StopGate&) = delete;
  StopGate& operator=(const StopGate&) = delete;

  // Worker: starts a spell of `kind` (not 0) while the gate is open; false,
  // and no spell, once it is closed.
  bool Enter(int kind = 1) {
    inside_.store(kind);
    if (!closed_.load()) return true;
    inside_.store(0);
    return false;
  }

  // Worker: the spell ended; false when the gate was closed meanwhile.
  bool Leave() {
    inside_.store(0);
    return !closed_.load();
  }

  // Stopper: no spell starts from now on; true the first time.
  bool Close() { return !closed_.exchange(true); }

  // Stopper, after Close: returns once the worker is out of a spell of
  // `kind` (of any kind with kAnySpell).
  void WaitOut(int kind = kAnySpell) const {
    for (int in = inside_.load(); in != 0 && (kind == kAnySpell || in == kind); in = inside_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Close, then WaitOut for a spell of any kind.
  void Shut() {
    Close();
    WaitOut();
  }

  // Stopper: spells may start again (a new recording on the same recorder).
  void Reopen() { closed_.store(false); }

  bool Closed() const { return closed_.load(); }

 private:
  std::atomic<bool> closed_;
  std::atomic<int> inside_{0};
};

}  // namespace trelvane::sync
