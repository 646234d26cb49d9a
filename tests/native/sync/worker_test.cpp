// The one worker, both sides on real threads: a stop that races the start,
// a stop while the thread is blocked in a wait its wake ends, and a thread
// that outlives its stop's limit still holding what it uses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "sync/worker.hpp"

namespace {

using std::chrono::milliseconds;
using trelvane::sync::StopGate;
using trelvane::sync::Worker;

// A stop at any moment of a start (before the thread ran, inside its first
// spell, between spells) ends it within the limit, and no spell starts
// after Stop returned.
TEST(Worker, AStopThatRacesTheStartEndsItAndNoSpellFollows) {
  for (int round = 0; round < 300; ++round) {
    auto spellsAfterStop = std::make_shared<std::atomic<int>>(0);
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    Worker worker;
    ASSERT_TRUE(worker.Start([spellsAfterStop, stopped](StopGate& gate) {
      while (gate.Enter()) {
        if (stopped->load()) spellsAfterStop->fetch_add(1);
        gate.Leave();
      }
    }));
    if (round % 3 == 1) std::this_thread::yield();
    if (round % 3 == 2) std::this_thread::sleep_for(std::chrono::microseconds(50));
    EXPECT_TRUE(worker.Stop(milliseconds(2000))) << "round " << round;
    stopped->store(true);
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(spellsAfterStop->load(), 0) << "round " << round;
  }
}

// What a thread blocks in: a wait only its own wake ends.
struct Blocker {
  std::mutex lock;
  std::condition_variable changed;
  bool woken = false;
  bool waiting = false;

  void Block() {
    std::unique_lock<std::mutex> hold(lock);
    waiting = true;
    changed.notify_all();
    changed.wait(hold, [this] { return woken; });
  }
  void Wake() {
    std::lock_guard<std::mutex> hold(lock);
    woken = true;
    changed.notify_all();
  }
  bool WaitUntilWaiting() {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, std::chrono::seconds(5), [this] { return waiting; });
  }
};

TEST(Worker, AStopWhileTheThreadIsBlockedWakesItAndJoins) {
  auto blocker = std::make_shared<Blocker>();
  Worker worker;
  ASSERT_TRUE(worker.Start([blocker](StopGate&) { blocker->Block(); }, [blocker] { blocker->Wake(); }));
  ASSERT_TRUE(blocker->WaitUntilWaiting());
  EXPECT_FALSE(worker.Ended());
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(worker.Stop(milliseconds(5000)));
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1000));
  EXPECT_TRUE(worker.Ended());  // nothing running: ended
}

// Without a wake the blocked thread outlives the limit: Stop returns false
// after it, and the thread keeps its own share of what it uses until it
// ends by itself. Its run's state is let go before the end is told.
TEST(Worker, AThreadPastTheLimitIsLeftWithItsOwnShare) {
  auto blocker = std::make_shared<Blocker>();
  std::weak_ptr<Blocker> watch = blocker;
  Worker worker;
  ASSERT_TRUE(worker.Start([blocker](StopGate&) { blocker->Block(); }));
  ASSERT_TRUE(blocker->WaitUntilWaiting());
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(worker.Stop(milliseconds(50)));
  EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(50));
  EXPECT_FALSE(worker.Running());
  Blocker* const left = blocker.get();
  blocker.reset();
  ASSERT_FALSE(watch.expired()) << "the thread's share keeps what it blocks in";
  left->Wake();
  for (int i = 0; i < 500 && !watch.expired(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(watch.expired()) << "the thread let go of its share as it ended";
}

// A worker started again stops the one before; a stopped worker's Stop and
// a never-started one's are no-ops that report an end.
TEST(Worker, StartingAgainStopsTheFormerThread) {
  auto firstDone = std::make_shared<std::atomic<bool>>(false);
  Worker worker;
  EXPECT_TRUE(worker.Stop(milliseconds(0)));
  ASSERT_TRUE(worker.Start([firstDone](StopGate& gate) {
    while (!gate.Closed()) std::this_thread::sleep_for(milliseconds(1));
    firstDone->store(true);
  }));
  ASSERT_TRUE(worker.Start([](StopGate&) {}));
  for (int i = 0; i < 500 && !firstDone->load(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(firstDone->load());
  EXPECT_TRUE(worker.Stop(milliseconds(2000)));
  EXPECT_TRUE(worker.Stop(milliseconds(0)));
}

}  // namespace

namespace {

// An object that holds a worker may be freed by the thread it runs, when
// the thread holds the last share of it: the worker then lets its own
// thread go instead of waiting for it.
TEST(Worker, AnOwnerFreedOnItsOwnThreadLetsTheThreadGo) {
  struct Owner {
    Worker worker;
  };
  auto owner = std::make_shared<Owner>();
  std::weak_ptr<Owner> watch = owner;
  auto release = std::make_shared<std::atomic<bool>>(false);
  ASSERT_TRUE(owner->worker.Start([held = owner, release](StopGate&) mutable {
    while (!release->load()) std::this_thread::sleep_for(milliseconds(1));
  }));
  owner.reset();
  release->store(true);
  for (int i = 0; i < 500 && !watch.expired(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(watch.expired());
}

}  // namespace
