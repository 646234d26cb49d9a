// Measures the serial link on the virtual-cable rig (run it with
// scripts/link-bench, which starts the rig):
//
//   link_bench latency desktop|handheld [count]
//       time from the last byte of a sentence written on the receiver's end to
//       the line's handling in the window, one sentence at a time, 57600 baud
//   link_bench rate [seconds]
//       80-byte sentences paced at rising rates; for each rate, lines lost and
//       the lag at the start and at the end of the run
//   link_bench idle [seconds]
//       CPU time of the process with the desktop link open on a silent port
//
// A pseudo-terminal does not pace bytes at the baud rate: the receiver's end
// here writes each sentence at once, and the rate run paces whole sentences.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/serial_link_desktop.hpp"
#include "link/serial_link_handheld.hpp"
#include "tests/rig/rig.hpp"

namespace {

using trelvane::link::DesktopLink;
using trelvane::link::HandheldLink;
using trelvane::rig::Cable;
using trelvane::rig::LineWindow;
using trelvane::rig::ReceiverEnd;

constexpr int kBaud57600 = 6;

double Frequency() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(f.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// An 80-byte sentence (CR LF included) carrying its number.
std::string Sentence80(int n) {
  char text[96];
  snprintf(text, sizeof(text), "$GPTXT,%06d,", n);
  std::string s = text;
  while (s.size() < 75) s.push_back('X');
  s += "*00\r\n";
  return s;
}

struct Open {
  Cable cable{8, 18};
  ReceiverEnd receiver;
  bool ok = false;
  Open() { ok = cable.IsUp() && receiver.Open(cable.ReceiverPort(), 57600); }
};

int Latency(bool handheld, int count) {
  Open rig;
  if (!rig.ok) return fprintf(stderr, "no rig\n"), 1;
  LineWindow window(handheld);
  DesktopLink desktop;
  HandheldLink pocket;
  const int opened = handheld ? pocket.OpenLink(window.Handle(), rig.cable.ProgramPortW().c_str(), kBaud57600)
                              : desktop.OpenLink(window.Handle(), rig.cable.ProgramPort().c_str(), kBaud57600);
  if (!opened) return fprintf(stderr, "open failed\n"), 1;
  window.Pump(300);
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const size_t before = window.lines.size();
    rig.receiver.Write(Sentence80(i));
    const LONGLONG written = Now();
    if (!window.WaitForLines(before + 1, 3000)) return fprintf(stderr, "line %d lost\n", i), 1;
    ms.push_back(static_cast<double>(window.arrivals.back() - written) * 1000.0 / Frequency());
  }
  std::sort(ms.begin(), ms.end());
  printf("latency %s, %d sentences at 57600 baud: median %.2f ms, 95th percentile %.2f ms, max %.2f ms\n",
         handheld ? "handheld" : "desktop", count, ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
  return 0;
}

// One run at `perSecond` lines a second for `seconds`; true when no line was
// lost and the lag did not grow.
bool RateRun(int perSecond, int seconds) {
  Open rig;
  if (!rig.ok) return false;
  LineWindow window(false);
  DesktopLink link;
  if (!link.OpenLink(window.Handle(), rig.cable.ProgramPort().c_str(), kBaud57600)) return false;
  window.Pump(300);
  const int total = perSecond * seconds;
  const double f = Frequency();
  std::vector<LONGLONG> sent(total);
  const LONGLONG start = Now();
  for (int i = 0; i < total; ++i) {
    const LONGLONG due = start + static_cast<LONGLONG>(f * i / perSecond);
    while (Now() < due) window.Pump(1);
    rig.receiver.Write(Sentence80(i));
    sent[i] = Now();
  }
  window.WaitForLines(static_cast<size_t>(total), 5000);
  link.CloseLink();
  // Lines arrive in order; match them to what was sent by their numbers.
  int lost = total - static_cast<int>(window.lines.size());
  double firstLag = 0, lastLag = 0;
  int firstN = 0, lastN = 0;
  for (size_t k = 0; k < window.lines.size(); ++k) {
    int n = -1;
    if (sscanf(window.lines[k].c_str(), "$GPTXT,%d,", &n) != 1 || n < 0 || n >= total) continue;
    const double lag = static_cast<double>(window.arrivals[k] - sent[n]) * 1000.0 / f;
    if (n < perSecond) firstLag += lag, ++firstN;
    if (n >= total - perSecond) lastLag += lag, ++lastN;
  }
  firstLag = firstN ? firstLag / firstN : 0;
  lastLag = lastN ? lastLag / lastN : 0;
  const bool held = lost == 0 && lastLag < firstLag + 100.0;
  printf("rate %3d lines/s (%5d bytes/s) for %d s: %d lost, mean lag first second %.1f ms, last second %.1f ms: %s\n",
         perSecond, perSecond * 80, seconds, lost, firstLag, lastLag, held ? "held" : "NOT held");
  return held;
}

int Rate(int seconds) {
  // 72 lines a second of 80 bytes fill a 57600-baud line (10 bits a byte).
  // Rates above 72 a second could not come over a real 57600-baud line; they
  // show how much room the reader has.
  const int rates[] = {5, 8, 9, 10, 11, 12, 15, 20, 30, 45, 60, 72, 150, 300, 600};
  int best = 0;
  bool held = true;
  for (int rate : rates) {
    held = held && RateRun(rate, seconds);
    if (held) best = rate;
  }
  printf("highest rate held (every lower rate held too): %d lines/s\n", best);
  return 0;
}

int Idle(int seconds) {
  Open rig;
  if (!rig.ok) return fprintf(stderr, "no rig\n"), 1;
  LineWindow window(false);
  DesktopLink link;
  if (!link.OpenLink(window.Handle(), rig.cable.ProgramPort().c_str(), kBaud57600)) return 1;
  window.Pump(500);
  const double before = trelvane::rig::ProcessCpuMs();
  window.Pump(static_cast<DWORD>(seconds) * 1000);
  const double used = trelvane::rig::ProcessCpuMs() - before;
  link.CloseLink();
  printf("idle: %.0f ms CPU in %d s on a silent open port (%.3f%%)\n", used, seconds, used / (seconds * 10.0));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "latency") == 0 && argc > 2) {
    return Latency(strcmp(argv[2], "handheld") == 0, argc > 3 ? atoi(argv[3]) : 1000);
  }
  if (strcmp(mode, "rate") == 0) return Rate(argc > 2 ? atoi(argv[2]) : 10);
  if (strcmp(mode, "idle") == 0) return Idle(argc > 2 ? atoi(argv[2]) : 60);
  fprintf(stderr, "usage: link_bench latency desktop|handheld [count] | rate [seconds] | idle [seconds]\n");
  return 2;
}
