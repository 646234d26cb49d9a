// The stop gate, both sides on real threads: once Shut returns the worker
// is out and never inside again; a reopened gate lets spells start again;
// WaitOut of one kind does not wait for a spell of another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sync/stop_gate.hpp"

namespace {

using trelvane::sync::StopGate;

TEST(StopGate, OnceShutTheWorkerIsOutAndStaysOut) {
  for (int round = 0; round < 200; ++round) {
    StopGate gate;
    std::atomic<bool> inside{false};
    std::atomic<bool> afterShut{false};
    std::atomic<int> lateSpells{0};
    std::atomic<int> spells{0};
    std::thread worker([&] {
      while (!gate.Closed() || spells.load() == 0) {
        if (!gate.Enter()) continue;
        inside.store(true);
        if (afterShut.load()) lateSpells.fetch_add(1);
        spells.fetch_add(1);
        inside.store(false);
        gate.Leave();
      }
    });
    while (spells.load() < round % 7 + 1) std::this_thread::yield();
    gate.Shut();
    afterShut.store(true);
    EXPECT_FALSE(inside.load());
    EXPECT_FALSE(gate.Enter());  // and nothing starts any more
    worker.join();
    EXPECT_EQ(lateSpells.load(), 0) << "round " << round;
  }
}

TEST(StopGate, ReopensAndWaitsOnlyForTheKindAsked) {
  StopGate gate(false);  // closed until a recording starts
  EXPECT_FALSE(gate.Enter());
  gate.Reopen();
  EXPECT_TRUE(gate.Enter(2));  // an event wait, which closing the port ends
  EXPECT_TRUE(gate.Close());
  EXPECT_FALSE(gate.Close());  // the first close counts once
  const auto before = std::chrono::steady_clock::now();
  gate.WaitOut(1);  // a read slice is waited out; the event wait is not
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
  std::thread leaving([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(gate.Leave());  // the spell learns the gate closed under it
  });
  gate.WaitOut();
  leaving.join();
  EXPECT_FALSE(gate.Enter());
}

}  // namespace
