// Hostile input for trelvane-sim --noise: items mixed into the stream between
// a capture's lines so that a user can try a monitor against them. None of
// them makes a valid sentence out of nothing, for a monitor that resynchronises
// at "$" or for one that cuts lines at LF as ours does: noise brings no "$" or
// "*" of its own (only the next sentence's head, cut before its checksum, and
// a copy of that sentence with its checksum wrong hold a sentence's bytes), and
// each gap of noise is checked against our monitor's own line cutting and
// checksum test before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trelvane::sim {

enum class NoiseKind {
  kRandomBytes,    // 1 to 64 random bytes, never "$" or "*"
  kNuls,           // 1 to 16 NUL bytes
  kLongLine,       // 10,000 bytes without a line feed
  kBareCrs,        // 1 to 4 CRs without a line feed
  kWrongChecksum,  // the next sentence with one bit of its checksum flipped, as a line of its own
  kLoneDollar,     // "$" with nothing after it on its line
  kCutSentence,    // the head of the next sentence, cut before its "*", without line end
};
constexpr int kNoiseKinds = 7;
constexpr std::size_t kLongNoiseLine = 10000;
constexpr std::uint64_t kDefaultNoiseSeed = 1;

// A small generator (splitmix64) written out here, so that a seed gives the
// same noise with every compiler and library.
class NoiseRandom {
 public:
  explicit NoiseRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  double Unit();                      // in [0, 1)
  std::size_t Below(std::size_t n);   // in [0, n); 0 when n is 0

 private:
  std::uint64_t state_;
};

// True when our monitor takes `line` (a line as its reader delivers it, LF
// included) as a sentence: what comes before any NUL fits its working copy
// and passes its checksum test.
bool MonitorAccepts(std::string_view line);

// True when the real line `line` (CR LF included) is a sentence our monitor
// accepts whole: these are the valid sentences the sim counts.
bool ValidSentence(std::string_view line);

// Appends one item of `kind` to `out`, made to stand before the real line
// `next` (CR LF included). The items made from the next sentence need a
// valid one; before any other line a lone "$" is made instead.
// Returns the kind made.
NoiseKind AppendNoise(NoiseKind kind, std::string_view next, NoiseRandom& random, std::string& out);

struct GapCheck {
  bool safe = false;   // no line our monitor accepts is made of noise
  bool whole = false;  // the real line reaches the monitor as a line of its own
};

// Runs `noise` and then the real line `next` through our monitor's line
// cutting, from the start of a line (where every real line leaves it).
GapCheck CheckGap(std::string_view noise, std::string_view next);

}  // namespace trelvane::sim
