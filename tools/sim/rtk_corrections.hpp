// What an RTK receiver makes of the RTCM 3 corrections arriving on its port,
// among whatever else arrives there (the monitor's commands): the frames are
// found by their CRC (corrections/rtcm3_frames.hpp) and judged by type.
//
// - The base's position (1005 or 1006) and observations (an MSM, types
//   1071-1077, 1081-1087, 1091-1097, 1121-1127) together give RTK float:
//   GGA quality 5, RMC mode F, the corrections' age and the base's id in GGA.
// - After kFixAfter of corrections with no silence over kGapAllowed, and
//   while the silence stays within it: RTK fixed, quality 4, mode R. A
//   longer silence ends the fixed solution; the next frame counts anew.
// - After kLostAfter with no good frame the receiver falls back to its own
//   solution and forgets the base: it needs a position and observations again.
//
// Once a second while bytes arrive, a report for that second: the message
// types of the good frames, their bytes, and the bytes that formed no good
// frame (noise, broken frames, and the commands sharing the port).
// No OS calls and no allocation per byte; time comes in as microseconds.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

#include "corrections/rtcm3_frames.hpp"

namespace trelvane::sim {

// The solution the corrections give, for the persona's GGA and RMC.
struct RtkSolution {
  int quality = 0;     // GGA quality: 5 float, 4 fixed; 0 for the receiver's own
  char mode = 0;       // RMC mode indicator: 'F' or 'R'
  long ageTenths = 0;  // age of the last good frame, in tenths of a second
  int station = 0;     // the base's reference station id (12 bits)
};

constexpr std::int64_t kFixAfter = 10000000;
constexpr std::int64_t kGapAllowed = 5000000;
constexpr std::int64_t kLostAfter = 10000000;
constexpr std::int64_t kReportEvery = 1000000;

// True for the MSM types 1 to 7 of GPS, GLONASS, Galileo and BeiDou.
bool IsMsm(int type);

class RtkCorrections {
 public:
  // Takes `count` bytes that arrived at `nowMicros`.
  void Feed(const unsigned char* data, std::size_t count, std::int64_t nowMicros);

  // The solution at `nowMicros`.
  RtkSolution Solution(std::int64_t nowMicros) const;

  // A second after the first byte of a report's span: writes
  // "rtcm TYPES (N bytes, M bad)" into `line` and answers true; false while
  // none is due.
  bool Report(std::int64_t nowMicros, std::string& line);

 private:
  struct FrameSink {
    RtkCorrections& owner;
    void OnFrame(const unsigned char* frame, int length) { owner.Take(frame, length); }
  };
  void Take(const unsigned char* frame, int length);

  corrections::Rtcm3Filter filter_;
  std::int64_t now_ = 0;  // the arrival time of the bytes being fed
  // The solution's state.
  bool anyFrame_ = false;
  bool haveBase_ = false;
  bool haveMsm_ = false;
  int station_ = 0;
  std::int64_t lastFrame_ = 0;
  std::int64_t steadySince_ = 0;  // float reached, or corrections back after a gap
  // The report's span.
  bool spanOpen_ = false;
  std::int64_t spanStart_ = 0;
  unsigned long frameBytesBefore_ = 0;
  unsigned long droppedBefore_ = 0;
  std::bitset<4096> types_;  // a type is 12 bits
};

}  // namespace trelvane::sim
