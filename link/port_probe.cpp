#include "link/port_probe.hpp"

#include <cstdio>

#include "link/serial_link_desktop.hpp"
#include "stream/sentence_spotter.hpp"

namespace trelvane::link {

namespace {

constexpr DWORD kAfterOpenMs = 100;
constexpr DWORD kTalkTimeMs = 1000;
constexpr DWORD kRetryMs = 1000;
constexpr int kReadTries = 3;
constexpr DWORD kProbeReadBytes = 200;


// One read of what the driver holds, waiting at most 0.1 s for a first byte
// (the desktop settings). A failed read (errors stop reads until cleared, as
// the settings abort on errors) counts as no bytes.
int ReadSome(HANDLE port, unsigned char (&into)[kProbeReadBytes]) {
  DWORD got = 0;
  if (!ReadFile(port, into, kProbeReadBytes, &got, nullptr)) {
    DWORD errors = 0;
    ClearCommError(port, &errors, nullptr);
    return 0;
  }
  return static_cast<int>(got);
}

enum class Heard { kSentence, kNoSentence, kStopped };

// Reads and feeds `spotter` until it finds a sentence, `listenMs` ran out or a
// stop was requested.
Heard ListenFor(HANDLE port, stream::SentenceSpotter& spotter, DWORD listenMs, const std::atomic<unsigned char>& stop) {
  const ULONGLONG deadline = GetTickCount64() + listenMs;
  while (!spotter.Found()) {
    if (stop.load() == 1) return Heard::kStopped;
    if (GetTickCount64() >= deadline) return Heard::kNoSentence;
    unsigned char heard[kProbeReadBytes];
    spotter.Feed(heard, ReadSome(port, heard));
  }
  return Heard::kSentence;
}

}  // namespace

const char* ProbeStatusText(ProbeResult result) {
  switch (result) {
    case ReceiverFound:
      return "GPS Receiver";
    case NoReceiver:
      return "NO GPS Receiver";
    default:
      return "NO DEVICE";
  }
}

void FormatProbeStatus(const ProbeOutcome& outcome, unsigned long shownBaud, char* text, int capacity) {
  if (capacity <= 0) return;
  if (outcome.result == ReceiverFound && outcome.baud != shownBaud) {
    std::snprintf(text, static_cast<size_t>(capacity), "%s at %lu", ProbeStatusText(outcome.result), outcome.baud);
  } else {
    std::snprintf(text, static_cast<size_t>(capacity), "%s", ProbeStatusText(outcome.result));
  }
}

ProbeOutcome ListenForReceiver(const char* portName, unsigned long baud,
                               const std::atomic<unsigned char>& stopRequested, RateAnnouncer announcer) {
  ProbeOutcome outcome;
  const handles::OwnedHandle port(CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  Sleep(kAfterOpenMs);  // also after a failed open: the driver may still be settling
  if (!port.Valid()) return outcome;
  if (!PulseBreak(port.Get())) return outcome;
  ApplyDesktopSettings(port.Get(), baud);
  PurgeComm(port.Get(), PURGE_TXCLEAR);
  PurgeComm(port.Get(), PURGE_RXCLEAR);
  SetCommMask(port.Get(), EV_RXCHAR);  // nothing waits on it
  Sleep(kTalkTimeMs);
  outcome.result = NoReceiver;
  if (stopRequested.load() == 1) return outcome;

  // At the rate shown: what a second of talk left in the driver, then more
  // until a sentence or 1.2 s, once bytes came at all.
  stream::SentenceSpotter spotter;
  bool talked = false;
  for (int attempt = 0; attempt < kReadTries && !talked; ++attempt) {
    unsigned char heard[kProbeReadBytes];
    const int got = ReadSome(port.Get(), heard);
    if (got > 0) {
      talked = true;
      spotter.Feed(heard, got);
    } else {
      Sleep(kRetryMs);
    }
  }
  if (!talked) {
    outcome.result = NoDevice;  // silent: silent at every rate too
    return outcome;
  }
  Heard heard = ListenFor(port.Get(), spotter, kHuntListenMs, stopRequested);
  if (heard == Heard::kSentence) {
    outcome = {ReceiverFound, baud};
    return outcome;
  }

  // Bytes but no sentence: a receiver at another rate, or another device.
  for (unsigned long rate : receiver::kHuntOrder) {
    if (heard == Heard::kStopped) break;
    if (rate == baud) continue;
    if (announcer.announce != nullptr) announcer.announce(announcer.context, rate);
    ApplyDesktopSettings(port.Get(), rate);
    PurgeComm(port.Get(), PURGE_RXCLEAR);
    spotter.Reset();
    heard = ListenFor(port.Get(), spotter, kHuntListenMs, stopRequested);
    if (heard == Heard::kSentence) {
      outcome = {ReceiverFound, rate};
      break;
    }
  }
  return outcome;
}

}  // namespace trelvane::link
