// The simulated receiver's portable part: a capture cut into fix cycles, the
// schedule that puts them on the wire as a receiver does, and the cutting of
// what the monitor writes back into lines. No OS calls here; main.cpp drives
// a Player with a clock and a SerialDevice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/noise.hpp"

namespace trelvane::sim {

// The serial wire carries 10 bits per byte with 8N1 framing (start, 8 data,
// stop), so 4800 baud moves 480 bytes a second.
constexpr unsigned long kBitsPerWireByte = 10;

constexpr unsigned long WireBytesPerSecond(unsigned long baud) { return baud / kBitsPerWireByte; }

// How long `bytes` take on the wire at `baud`, in microseconds, rounded up.
std::int64_t WireMicros(std::size_t bytes, unsigned long baud);

// How many bytes go out in one write: about 20 ms of the wire, so that a pty
// (which does not pace bytes) sees the stream arrive as a real port would.
std::size_t ChunkBytes(unsigned long baud);

// A capture file larger than this is refused rather than read whole.
constexpr std::size_t kMaxCaptureBytes = 64u << 20;

// What --noise asks for: the share of noise items among the lines sent
// (0 for none, below 1), and the seed that makes them.
struct NoiseSettings {
  double rate = 0;
  std::uint64_t seed = kDefaultNoiseSeed;
};

// How many valid sentences (ValidSentence) went out, and how many of them
// reached a monitor that cuts lines at LF, as ours does, as lines of their own.
struct SentenceCount {
  std::uint64_t valid = 0;
  std::uint64_t whole = 0;
};

// The lines a capture makes the receiver send, grouped into fix cycles.
class Capture {
 public:
  // Cuts `bytes` (a capture file's contents) into lines at LF. Lines starting
  // with '#' are the capture's notes and empty lines its formatting: neither
  // is sent. Every other line keeps its bytes and ends in CR LF on the wire,
  // whether the file ended it with LF or CR LF. Fix cycles are cut as the
  // monitor's playback cuts them (recording/fix_cycles.hpp): at each line
  // holding "$GPRMC" or beginning with another talker's RMC ("$GNRMC"); lines
  // before the first one make a cycle of their own.
  //
  // With a noise rate, each line is preceded by noise items (noise.hpp), one
  // more each time a draw falls below the rate, so that about that share of
  // the items sent are noise. A gap our monitor would read a sentence from
  // is drawn again, and after eight tries left empty.
  //
  // With `hundredths`, every valid sentence's fix time is written hhmmss.ss
  // (fix_times.hpp), so that a Player can give the cycles times of its own.
  void Load(std::string_view bytes, const NoiseSettings& noise = NoiseSettings{}, bool hundredths = false);

  std::size_t CycleCount() const { return cycleEnds_.size(); }
  // The wire bytes of cycle `i` (i < CycleCount()).
  std::string_view Cycle(std::size_t i) const;
  // Where cycle `i` starts among the wire bytes of the whole capture.
  std::size_t CycleOffset(std::size_t i) const { return i == 0 ? 0 : cycleEnds_[i - 1]; }

  // The valid sentences whose last byte lies in wire bytes [from, to).
  SentenceCount SentencesEndingIn(std::size_t from, std::size_t to) const;
  // The valid sentences of one play of the capture.
  SentenceCount Sentences() const { return SentencesEndingIn(0, wire_.size()); }
  // The noise items of one play, of one kind or of all.
  std::size_t NoiseItems(NoiseKind kind) const { return noise_[static_cast<int>(kind)]; }
  std::size_t NoiseItems() const;

 private:
  void AppendNoiseGap(std::string_view next, double rate, NoiseRandom& random, bool& whole);

  std::string wire_;
  std::vector<std::size_t> cycleEnds_;   // offset in wire_ just past each cycle
  std::vector<std::size_t> validEnds_;   // offset just past each valid sentence
  std::vector<std::size_t> wholeEnds_;   // the same, for those a monitor gets whole
  std::size_t noise_[kNoiseKinds] = {};
};

// Reads a whole file; false with errno's text or a reason in `why` on failure.
bool ReadWholeFile(const char* path, std::string& bytes, char* why, std::size_t whyCapacity);

// When the player wants bytes written, or to be woken.
struct Action {
  enum class Kind { kWrite, kWait, kDone };
  Kind kind = Kind::kDone;
  const char* data = nullptr;  // kWrite: the bytes to write
  std::size_t size = 0;
  std::int64_t untilMicros = 0;  // kWait: wake at this time
};

// Schedules a capture's cycles on a clock in microseconds. Each cycle is a
// burst at the wire's byte rate; a cycle starts one fix period (a second, or
// a tenth at 10 Hz) after the one before it started, or as soon as the wire
// is free when a burst is longer than that. With `fast` the cycles follow
// each other with no pause. Without `once` the capture repeats for ever;
// with it the player is done when the last byte has left the wire.
//
// The player keeps one chunk queued ahead of the wire, so a late wake-up
// costs no wire time, and it counts wire time from when a write actually
// happened, so a stall is never made up by a burst faster than the wire.
class Player {
 public:
  Player(const Capture& capture, unsigned long baud, bool fast, bool once);

  void Start(std::int64_t nowMicros);
  Action Next(std::int64_t nowMicros) const;
  // `written` bytes of the last kWrite action went out at `nowMicros`
  // (fewer than offered, or none, when the device was full).
  void Wrote(std::size_t written, std::int64_t nowMicros);

  // The bytes still to come go out at `baud`; those already written keep
  // the wire time of the old rate.
  void SetBaud(unsigned long baud);
  // From the next cycle on, `hz` cycles a second (1 to 10).
  void SetFixRate(unsigned hz);
  // Each cycle from here on carries its own fix time, one fix period after
  // the one before, as a receiver at that fix rate sends (the capture must
  // have been loaded with `hundredths`); the first keeps the capture's.
  void GiveFixTimes() { fixTimes_ = true; }
  // With fix times: each cycle from the first on leaves `lateMs` after a
  // whole fix period of the PC's UTC and carries that time and its date;
  // `utcMinusNowMicros` maps the player's clock onto UTC.
  void KeepClock(std::int64_t utcMinusNowMicros, long lateMs);
  // With fix times: a cold start was heard; from the next cycle to start,
  // the cycles carry no fix for `ms`.
  void ColdStart(long ms);
  // When the wire has sent every byte written so far.
  std::int64_t WireFree() const { return wireFree_; }

  // The valid sentences whose every byte was written, over all plays.
  SentenceCount SentencesSent() const { return sentencesSent_; }

 private:
  const Capture& capture_;
  unsigned long baud_;
  bool fast_;
  bool once_;
  std::size_t chunk_;
  std::int64_t lead_;  // wire time of one chunk
  std::int64_t period_;  // from one cycle's start to the next one's

  // The current cycle's bytes as they go on the wire.
  std::string_view CycleBytes() const;
  void StampCurrent();
  std::size_t cycle_ = 0;
  std::size_t sent_ = 0;           // bytes of the current cycle written
  void NextStamp(std::int64_t nowMicros);
  bool fixTimes_ = false;
  std::uint32_t fixTime_ = 0;      // the current cycle's, in hundredths of the day
  bool clock_ = false;             // the fix times are the PC's UTC
  std::int64_t utcMinusNow_ = 0;
  std::int64_t late_ = 0;          // microseconds after its time a cycle leaves
  std::int64_t stampUtc_ = 0;      // with clock_: the current cycle's time, UTC microseconds
  std::int64_t played_ = 0;        // hundredths of fix time since the play started
  std::int64_t fixFrom_ = 0;       // a cycle played before this carries no fix
  long coldMs_ = -1;               // a cold start waiting for the next cycle; -1: none
  std::string stamped_;            // the current cycle with its fix time, while fixTimes_
  std::int64_t gate_ = 0;          // the current cycle may not start before this
  std::int64_t cycleStart_ = 0;    // when its first byte went on the wire
  std::int64_t wireFree_ = 0;      // when the wire has sent all bytes written
  bool finished_ = false;
  SentenceCount sentencesSent_;
};

// Keeps writes to the wire's byte rate, a chunk at a time, one chunk ahead
// of the wire, as the Player does for a capture: for the persona's cycles
// and answers, whose rate may change while they go out.
class WirePacer {
 public:
  explicit WirePacer(unsigned long baud) { SetBaud(baud); }

  void SetBaud(unsigned long baud);
  std::size_t Chunk() const { return chunk_; }
  // When the next chunk may be written.
  std::int64_t NextWriteAt() const { return wireFree_ - lead_; }
  // When the wire has sent every byte written so far.
  std::int64_t WireFree() const { return wireFree_; }
  void Wrote(std::size_t written, std::int64_t nowMicros);

 private:
  unsigned long baud_ = 0;
  std::size_t chunk_ = 1;
  std::int64_t lead_ = 0;
  std::int64_t wireFree_ = 0;
};

// Cuts the bytes the monitor writes back into lines at LF, dropping the CR
// LF. A line longer than kMaxReplyLine comes out in pieces of that length,
// so nothing the monitor sends goes unseen; empty lines are not reported.
class ReplyLines {
 public:
  static constexpr std::size_t kMaxReplyLine = 256;

  // True when `byte` completed a line; Line() then holds it until the next Push.
  bool Push(char byte);
  std::string_view Line() const { return std::string_view(line_, size_); }

 private:
  bool Complete();

  char line_[kMaxReplyLine];
  std::size_t size_ = 0;
  bool delivered_ = false;
};

}  // namespace trelvane::sim
