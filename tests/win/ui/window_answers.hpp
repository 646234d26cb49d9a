// Whether a monitor's window keeps answering while something happens to it:
// another thread asks it (a sent WM_NULL, as a click would be sent) every
// 100 ms while the monitor's own message loop runs, and the process's CPU
// time over the while is taken.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "tests/rig/rig.hpp"

namespace trelvane::test {

struct Answers {
  DWORD slowestMs = 0;
  double cpuMs = 0;
};

// Runs `pump(done, ms)` for `ms` milliseconds while the window is asked.
template <class Pump>
Answers WatchAnswers(HWND window, DWORD ms, Pump pump) {
  Answers answers;
  std::atomic<bool> stop{false};
  const double cpuBefore = rig::ProcessCpuMs();
  std::thread asker([&] {
    while (!stop) {
      DWORD_PTR result = 0;
      const ULONGLONG asked = GetTickCount64();
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
      const DWORD took = static_cast<DWORD>(GetTickCount64() - asked);
      if (took > answers.slowestMs) answers.slowestMs = took;
      Sleep(100);
    }
  });
  pump([] { return false; }, ms);
  stop = true;
  pump([&] { return false; }, 150);  // the last question may still wait for an answer
  asker.join();
  answers.cpuMs = rig::ProcessCpuMs() - cpuBefore;
  return answers;
}

// The receiver's end of the cable is gone while the link stays open: for
// ten seconds the window must answer at once and the monitor must not spin.
template <class Pump>
void ExpectCalmWhileUnplugged(HWND window, Pump pump) {
  const Answers unplugged = WatchAnswers(window, 10000, pump);
  std::printf("unplugged for 10 s: slowest answer %lu ms, CPU %.0f ms\n", unplugged.slowestMs, unplugged.cpuMs);
  EXPECT_LT(unplugged.slowestMs, 100u);
  EXPECT_LT(unplugged.cpuMs, 1000.0) << "the monitor spins on a port whose receiver is gone";
}

}  // namespace trelvane::test
