// What a recording of the receiver leaves on disk, and the words for why one
// stopped. Both monitors record alike and both playback windows read it.
//
// A recording is two files. The first, YYYYMMDD-HHMMSS.nmea, holds every
// byte the reader read from the port, exactly as read: sentences, binary
// frames and noise alike, so any tool can read it and a later decoder can
// read it better. The second, the same name with ".timing" appended, says
// when each read was made: an 8-byte magic "TRVTIME1", then one 8-byte
// record per read, little-endian: uint32 offset (where the read's bytes
// start in the recording) and uint32 ms (since the recording's first read,
// so the first record is {0, 0}). The playback clock
// (recording/playback_clock.hpp) checks that the records are in order and
// inside the recording.
//
// Offsets are 32 bits, as the playback clock keeps them: a recording stops
// before it would pass kMaxPlaybackBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "recording/playback_clock.hpp"

namespace trelvane::recording {

constexpr unsigned char kTimingMagic[8] = {'T', 'R', 'V', 'T', 'I', 'M', 'E', '1'};
constexpr std::size_t kTimingRecordBytes = 8;

inline void PutLittle32(std::uint32_t value, unsigned char* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline std::uint32_t GetLittle32(const unsigned char* in) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

// One read's record, kTimingRecordBytes of it.
inline void EncodeTiming(const TimedRead& read, unsigned char* out) {
  PutLittle32(read.offset, out);
  PutLittle32(read.ms, out + 4);
}

// The records of a whole timing file into `out` (replacing what it held).
// False, with `out` empty, on a wrong magic or a partial record at the end.
inline bool ParseTiming(const unsigned char* bytes, std::size_t count, std::vector<TimedRead>& out) {
  out.clear();
  if (count < sizeof kTimingMagic || (count - sizeof kTimingMagic) % kTimingRecordBytes != 0) return false;
  for (std::size_t i = 0; i < sizeof kTimingMagic; ++i) {
    if (bytes[i] != kTimingMagic[i]) return false;
  }
  out.reserve((count - sizeof kTimingMagic) / kTimingRecordBytes);
  for (std::size_t at = sizeof kTimingMagic; at < count; at += kTimingRecordBytes) {
    out.push_back(TimedRead{GetLittle32(bytes + at), GetLittle32(bytes + at + 4)});
  }
  return true;
}

// Writes the narrow `text` and a zero into `out` from unit `at`. False, with
// `out` empty, when they do not fit in `capacity` units.
template <class Ch>
bool PutAscii(Ch* out, int capacity, int at, const char* text) {
  int length = 0;
  while (text[length] != 0) ++length;
  if (capacity <= 0) return false;
  if (at < 0 || at + length >= capacity) {
    out[0] = Ch(0);
    return false;
  }
  for (int i = 0; i < length; ++i) out[at + i] = static_cast<Ch>(text[i]);
  out[at + length] = Ch(0);
  return true;
}

// The timing file beside `recording`: its path with ".timing" appended,
// zero-terminated in `out`. False, with `out` empty, when it does not fit.
template <class Ch>
bool TimingPath(const Ch* recording, Ch* out, int capacity) {
  static const char kSuffix[] = ".timing";
  int length = 0;
  while (recording[length] != Ch(0)) ++length;
  if (capacity <= 0) return false;
  if (length > capacity - static_cast<int>(sizeof kSuffix)) {
    out[0] = Ch(0);
    return false;
  }
  for (int i = 0; i < length; ++i) out[i] = recording[i];
  return PutAscii(out, capacity, length, kSuffix);
}

// Local time fields, as the system's clock gives them.
struct RecordingTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// The name of a recording started at `time`: "YYYYMMDD-HHMMSS.nmea"
// (20 units and a zero). False when a field is out of its range or the name
// does not fit `capacity`.
template <class Ch>
bool RecordingName(const RecordingTime& time, Ch* out, int capacity) {
  if (capacity > 0) out[0] = Ch(0);
  if (time.year < 0 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 ||
      time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
      time.second > 60) {
    return false;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%.4d%.2d%.2d-%.2d%.2d%.2d.nmea", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return PutAscii(out, capacity, 0, name);
}

// Why a recording stopped other than by the user's Stop.
enum class RecordingStop {
  kNone,
  kDiskFull,     // a write failed for want of room
  kWriteFailed,  // a write failed otherwise (a removed card, a lost share): with the system's error
  kWriteShort,   // a write reported success but wrote less than it was given
  kFellBehind,   // the reader's reads came faster than the disk took them: the queue filled
  kTooLarge,     // the next read would take the recording past kMaxPlaybackBytes
  kTooLong,      // the milliseconds since the first read no longer fit in 32 bits
  kDiskHung,     // a write did not come back within Stop's limit: the writer is left to it
};

// The reason as the log line "Recording stopped: REASON" gives it, zero-
// terminated and cut to `capacity` units; answers the length written.
template <class Ch>
int RecordingStopText(RecordingStop reason, unsigned long error, Ch* out, int capacity) {
  char text[64];
  switch (reason) {
    case RecordingStop::kNone:
      text[0] = 0;
      break;
    case RecordingStop::kDiskFull:
      std::snprintf(text, sizeof text, "the disk is full");
      break;
    case RecordingStop::kWriteFailed:
      std::snprintf(text, sizeof text, "a write failed (error %lu)", error);
      break;
    case RecordingStop::kWriteShort:
      std::snprintf(text, sizeof text, "a write was cut short");
      break;
    case RecordingStop::kFellBehind:
      std::snprintf(text, sizeof text, "the disk fell behind");
      break;
    case RecordingStop::kTooLarge:
      std::snprintf(text, sizeof text, "the recording reached 4 GB");
      break;
    case RecordingStop::kTooLong:
      std::snprintf(text, sizeof text, "the recording reached 49 days");
      break;
    case RecordingStop::kDiskHung:
      std::snprintf(text, sizeof text, "the disk did not answer");
      break;
  }
  if (capacity <= 0) return 0;
  int n = 0;
  for (; text[n] != 0 && n + 1 < capacity; ++n) out[n] = static_cast<Ch>(text[n]);
  out[n] = Ch(0);
  return n;
}

}  // namespace trelvane::recording
