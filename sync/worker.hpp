// The one way the program runs something on a thread of its own: the
// serial and network readers, the corrections client, Get List, the share
// server, the recorder's writer and the port scan are all Workers.
//
// A worker's thread does whatever touches what its owner shares (the port,
// the window's recorder) inside a spell of the worker's stop gate, and ends
// once the gate is closed. Stop closes the gate, wakes the thread out of the
// wait it may be blocked in (its `wake`, which sets its stop event or closes
// what it waits on), waits until it is out of its spell, and then waits up
// to a limit for it to end. A thread that has not ended by then is left to
// end on its own: it holds its own share of everything it uses (what `run`
// captured, and the worker's gate), and never enters a spell again, so it
// touches nothing of its owner's after Stop returns.
//
// A limit of zero is for threads that may be inside a call to the very
// thread that stops them (a reader handing a batch to the window): Stop then
// waits for the spell alone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "sync/stop_gate.hpp"

namespace trelvane::sync {

class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() { Stop(std::chrono::milliseconds(0)); }

  // Starts `run` on a thread of its own; a worker already running is stopped
  // first, without waiting for its end. `run` is handed the gate: it stops
  // when the gate closes. `wake` (may be empty) is called by Stop, on the
  // stopper's thread, after the gate is closed. False when no thread could
  // be made (nothing runs then).
  bool Start(std::function<void(StopGate&)> run, std::function<void()> wake = {}) {
    Stop(std::chrono::milliseconds(0));
    auto control = std::make_shared<Control>();
    try {
      thread_ = std::thread([control, body = std::move(run)]() mutable {
        body(control->gate);
        body = nullptr;  // what the body held goes before the end is told
        std::lock_guard<std::mutex> hold(control->lock);
        control->ended = true;
        control->endedChanged.notify_all();
      });
    } catch (...) {
      return false;
    }
    control_ = std::move(control);
    wake_ = std::move(wake);
    return true;
  }

  // Stops the thread as described above; true when it ended within `limit`
  // (or nothing was running).
  bool Stop(std::chrono::milliseconds limit) {
    if (control_ == nullptr) return true;
    if (thread_.get_id() == std::this_thread::get_id()) {
      // The thread let go of the last share of its own worker's owner: it
      // is ending, and cannot wait for itself.
      control_->gate.Close();
      thread_.detach();
      control_.reset();
      wake_ = nullptr;
      return false;
    }
    control_->gate.Close();
    if (wake_) wake_();
    control_->gate.WaitOut();
    bool ended = false;
    {
      std::unique_lock<std::mutex> hold(control_->lock);
      ended = control_->endedChanged.wait_for(hold, limit, [this] { return control_->ended; });
    }
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();  // it ends on its own, with its own share of what it uses
    }
    control_.reset();
    wake_ = nullptr;
    return ended;
  }

  // Started and not yet stopped (its thread may have ended meanwhile).
  bool Running() const { return control_ != nullptr; }

  // The thread's `run` has returned.
  bool Ended() const {
    if (control_ == nullptr) return true;
    std::lock_guard<std::mutex> hold(control_->lock);
    return control_->ended;
  }

 private:
  struct Control {
    StopGate gate;
    std::mutex lock;  // guards `ended`
    std::condition_variable endedChanged;
    bool ended = false;
  };

  std::shared_ptr<Control> control_;
  std::thread thread_;
  std::function<void()> wake_;
};

}  // namespace trelvane::sync
