// Listening on one serial port for a receiver: the port scan's step per port.
#pragma once

#include <windows.h>

#include <atomic>

#include "receiver/link_settings.hpp"

namespace trelvane::link {

enum ProbeResult { ReceiverFound = 0, NoReceiver = 1, NoDevice = 2 };

// What a probe found, and at which rate a receiver talked (0 for no receiver).
struct ProbeOutcome {
  ProbeResult result = NoDevice;
  unsigned long baud = 0;
};

constexpr DWORD kHuntListenMs = 1200;

// "GPS Receiver", "NO GPS Receiver" or "NO DEVICE".
const char* ProbeStatusText(ProbeResult result);

// The status a scan shows for `outcome` when it listened first at
// `shownBaud`: the plain texts above, and "GPS Receiver at 38400" for a
// receiver found at another rate than the one shown.
void FormatProbeStatus(const ProbeOutcome& outcome, unsigned long shownBaud, char* text, int capacity);

// Told each rate just before the probe listens at it.
struct RateAnnouncer {
  void (*announce)(void* context, unsigned long baud) = nullptr;
  void* context = nullptr;
};

// Opens `portName` as the link does, pulses a break, applies the desktop
// settings at `baud`, empties both buffers and gives a receiver a second to
// talk; then reads. The first read that returns bytes starts the listening:
// one whole sentence with a valid checksum (any talker, noise around it
// allowed) within 1.2 s of it is a receiver. A port that gave bytes but no
// sentence is heard again at each rate of kHuntOrder but `baud`, for at most
// 1.2 s each, until one gives a sentence; none does: some other device. A
// port that cannot be opened, refuses the break or gives no byte in three
// reads a second apart holds no device, and is not hunted.
// `stopRequested`, read after the second's wait and after every read of up to
// 0.1 s, cuts the probe short as NoReceiver. About 0.1 s for a port that
// cannot be opened, 1.1 s for a receiver at `baud`, 4.4 s for a silent port,
// at most 2.3 s + 10 x 1.2 s = 14.3 s for one that talks at no rate.
ProbeOutcome ListenForReceiver(const char* portName, unsigned long baud,
                               const std::atomic<unsigned char>& stopRequested, RateAnnouncer announcer = {});

}  // namespace trelvane::link
