// Listening on one serial port for a receiver: the port scan's step per port.
#pragma once

#include <windows.h>

#include <atomic>

namespace trelvane::link {

enum ProbeResult { ReceiverFound = 0, NoReceiver = 1, NoDevice = 2 };

// "GPS Receiver", "NO GPS Receiver" or "NO DEVICE".
const char* ProbeStatusText(ProbeResult result);

// Opens `portName` as the link does, pulses a break, applies the desktop
// settings at `baud`, empties both buffers and gives a receiver a second to
// talk; then up to three reads of up to 200 bytes, a second apart. What the
// first read that returns bytes holds decides: "$GP" in it is a receiver,
// anything else is some other device; a port that cannot be opened, refuses
// the break or stays silent holds no device. `stopRequested`, read once
// after the second's wait, cuts the probe short as NoReceiver. About 0.1 s
// for a port that cannot be opened, 1.1 s for a talking one, 4.4 s for a
// silent one.
ProbeResult ListenForReceiver(const char* portName, unsigned long baud,
                              const std::atomic<unsigned char>& stopRequested);

}  // namespace trelvane::link
