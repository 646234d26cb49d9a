// A receiver at 57600 baud whose line mixes a real capture with everything a
// bad cable or a wrong rate makes (trelvane-sim's noise: random bytes, NULs,
// lines of 10,000 bytes, bare CRs, checksums one bit off, a lone "$", a
// sentence cut and restarted), played into a monitor that runs in this
// process. Both monitors' tests run it on their own cable.
//
// What the monitor handled is seen at its main window: a spy in front of its
// window procedure records every line the reader delivers and whether intake
// took it. Another thread plays the line and, every 100 ms, asks the window
// for an answer, as a person's click would.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/line_batch.hpp"
#include "nmea/sentence_intake.hpp"
#include "receiver/link_settings.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/rig/rig.hpp"
#include "tools/sim/capture_player.hpp"

namespace trelvane::test {

struct HostileLineRun {
  std::uint64_t wholeSent = 0;    // valid sentences the line carried whole
  std::uint64_t accepted = 0;     // lines intake took
  std::uint64_t strangers = 0;    // lines intake took that the capture never sent
  DWORD slowestAnswerMs = 0;      // the window's slowest answer to a sent message
  std::uint64_t noisePerPlay = 0; // noise items in one play of the capture
  long long workingSetGrowth = 0; // bytes, from the first quarter of the run to its end
};

namespace hostile {

// The spy's record; one run at a time.
inline WNDPROC original = nullptr;
inline bool wide = false;
inline std::uint64_t accepted = 0;
inline std::uint64_t strangers = 0;
inline const std::set<std::string>* sentences = nullptr;

template <class Ch>
std::string Narrow(const Ch* line) {
  std::string out;
  for (; *line != Ch(0); ++line) out.push_back(static_cast<char>(static_cast<unsigned>(*line) & 0xFFu));
  return out;
}

template <class Ch>
void CountStrangers(const link::LineBatch<Ch>& batch) {
  for (const auto record : batch) {
    if (record.kind != link::RecordKind::kLine) continue;
    // The intake reads a line up to its first zero (noise may put NULs in
    // one), as a lone line's handler does.
    const std::string line = Narrow(record.text);
    const int length = static_cast<int>(line.size());
    if (sentences->count(line) == 0 && length < nmea::kWorkingCopyChars && nmea::ChecksumPasses(record.text, length)) {
      ++strangers;
    }
  }
}

inline LRESULT CALLBACK Spy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = wide ? CallWindowProcW(original, hwnd, message, wParam, lParam)
                              : CallWindowProcA(original, hwnd, message, wParam, lParam);
  if (message == receiver::kMsgNmeaBatch) {
    // The window answers how many of the batch it accepted; a stranger is a
    // line of the batch that is no sentence of the capture and yet passes the
    // intake's checksum.
    accepted += static_cast<std::uint64_t>(result);
    if (wide) {
      CountStrangers(*reinterpret_cast<const link::LineBatch<wchar_t>*>(wParam));
    } else {
      CountStrangers(*reinterpret_cast<const link::LineBatch<char>*>(wParam));
    }
  }
  return result;
}

inline SIZE_T WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
}

}  // namespace hostile

// Plays `captureBytes` with noise at `noiseRate` into `receiver` for about
// `seconds`, at 57600 baud's byte rate, while `pump(done)` runs the monitor's
// message loop (the link to `mainWindow` already open).
template <bool Wide, class Pump>
HostileLineRun PlayHostileLine(HWND mainWindow, rig::ReceiverEnd& receiver, const std::string& captureBytes,
                               double noiseRate, int seconds, Pump pump) {
  sim::Capture capture;
  capture.Load(captureBytes, sim::NoiseSettings{noiseRate, 7});
  sim::Capture clean;
  clean.Load(captureBytes);
  std::set<std::string> sentences;  // every line the capture sends, as sent
  for (std::size_t c = 0; c < clean.CycleCount(); ++c) {
    const std::string_view cycle = clean.Cycle(c);
    for (std::size_t at = 0; at < cycle.size();) {
      const std::size_t end = cycle.find('\n', at);
      sentences.insert(std::string(cycle.substr(at, end - at + 1)));
      at = end + 1;
    }
  }

  hostile::wide = Wide;
  hostile::accepted = 0;
  hostile::strangers = 0;
  hostile::sentences = &sentences;
  hostile::original = reinterpret_cast<WNDPROC>(
      Wide ? SetWindowLongPtrW(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&hostile::Spy))
           : SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&hostile::Spy)));

  HostileLineRun run;
  std::atomic<bool> finished{false};
  std::atomic<SIZE_T> earlySet{0};
  std::thread line([&] {
    // 5,760 bytes a second in pieces of 115 every 20 ms: never a pause as
    // long as the reader's 100 ms time-out, which would cut a sentence.
    constexpr std::size_t kPiece = 115;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG nextAsk = start;
    std::size_t sent = 0;
    for (std::size_t c = 0; GetTickCount64() - start < static_cast<ULONGLONG>(seconds) * 1000; ++c) {
      const std::size_t i = c % capture.CycleCount();
      const std::string_view cycle = capture.Cycle(i);
      for (std::size_t at = 0; at < cycle.size(); at += kPiece) {
        receiver.Write(std::string(cycle.substr(at, kPiece)));
        sent += kPiece;
        while (GetTickCount64() - start < sent * 1000 / 5760) Sleep(5);
        if (GetTickCount64() >= nextAsk) {
          DWORD_PTR answer = 0;
          const ULONGLONG asked = GetTickCount64();
          SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
          const DWORD took = static_cast<DWORD>(GetTickCount64() - asked);
          if (took > run.slowestAnswerMs) run.slowestAnswerMs = took;
          nextAsk = asked + 100;
        }
        if (earlySet == 0 && GetTickCount64() - start > static_cast<ULONGLONG>(seconds) * 250) {
          earlySet = hostile::WorkingSet();
        }
      }
      const std::size_t offset = capture.CycleOffset(i);
      run.wholeSent += capture.SentencesEndingIn(offset, offset + cycle.size()).whole;
    }
    finished = true;
  });
  pump([&] { return finished.load(); }, static_cast<DWORD>(seconds) * 1000 + 30000);
  line.join();
  // The last sentences are still on their way through the reader.
  pump([&] { return hostile::accepted >= run.wholeSent; }, 3000);
  run.workingSetGrowth = static_cast<long long>(hostile::WorkingSet()) - static_cast<long long>(earlySet.load());

  if (Wide) {
    SetWindowLongPtrW(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostile::original));
  } else {
    SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostile::original));
  }
  run.accepted = hostile::accepted;
  run.strangers = hostile::strangers;
  run.noisePerPlay = capture.NoiseItems();
  return run;
}

// What a run must show: every sentence that arrived whole taken and nothing
// else, the window answering, the working set steady. Prints the figures.
inline void ExpectTheLineHeld(const HostileLineRun& run) {
  std::printf("hostile line: %llu sentences whole, %llu taken, %llu noise items a play, slowest answer %lu ms, "
              "working set %+lld bytes\n",
              static_cast<unsigned long long>(run.wholeSent), static_cast<unsigned long long>(run.accepted),
              static_cast<unsigned long long>(run.noisePerPlay), run.slowestAnswerMs, run.workingSetGrowth);
  EXPECT_GT(run.wholeSent, 200u);  // ten-thousand-byte noise lines take much of the line
  EXPECT_EQ(run.accepted, run.wholeSent);
  EXPECT_EQ(run.strangers, 0u);
  EXPECT_LT(run.slowestAnswerMs, 500u);
  EXPECT_LT(run.workingSetGrowth, 4ll << 20);
}

// A minute of capture `captureName` mixed with line noise (three items in
// ten) played into the monitor `mainWindow`, whose link is open: it must hold.
template <bool Wide, class Pump>
void ExpectAHostileMinuteHeld(HWND mainWindow, rig::ReceiverEnd& receiver, const char* captureName, Pump pump) {
  const std::string capture = trelvane::testing::ReadCapture(captureName);
  ASSERT_FALSE(capture.empty()) << captureName;
  ExpectTheLineHeld(PlayHostileLine<Wide>(mainWindow, receiver, capture, 0.3, 60, pump));
}

}  // namespace trelvane::test
