// Where a receiver's fix cycles start in the bytes it sent. A receiver sends
// one burst of sentences per fix; the burst is recognised by its RMC, so both
// the simulated receiver (which puts a capture on the wire one cycle a second)
// and the monitor's playback (which plays a recording one cycle a second when
// it has no timing of its own) cut a stream by this one rule:
//
// - a line starts a cycle when it holds "$GPRMC" anywhere, as the monitor's
//   intake finds it, or begins with any other talker's RMC ("$GNRMC",
//   "$GLRMC" ...), as multi-system receivers send it;
// - a capture's notes (lines starting with '#') and empty lines start nothing
//   and are no cycle's content, so no cycle holds only them;
// - lines before the first RMC make a cycle of their own.
//
// Lines end at LF; a CR before it is part of no test. No allocation: a line
// is judged byte by byte as it passes, whatever its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace trelvane::recording {

// Judges one line as its bytes pass.
class FixCycleLine {
 public:
  void Reset() {
    size_ = 0;
    matched_ = 0;
    found_ = false;
    headRmc_ = false;
    head_ = 0;
  }

  void Take(unsigned char byte) {
    if (size_ == 0) head_ = byte;
    // "$GPRMC" has no inner repeat, so a mismatch restarts at its '$' only.
    if (!found_) {
      if (byte == static_cast<unsigned char>(kGpRmc[matched_])) {
        found_ = ++matched_ == sizeof kGpRmc - 1;
      } else {
        matched_ = byte == '$' ? 1 : 0;
      }
    }
    if (size_ == 0) headRmc_ = byte == '$';
    if (size_ >= 3 && size_ < 6) headRmc_ = headRmc_ && byte == static_cast<unsigned char>("RMC"[size_ - 3]);
    ++size_;
  }

  // The line so far is data (not a note, not empty once its CR is dropped).
  // A lone CR is an empty line that ended in CR LF.
  bool Content() const { return head_ != '#' && (size_ > 1 || (size_ == 1 && head_ != '\r')); }
  // The line so far starts a fix cycle.
  bool StartsCycle() const { return Content() && (found_ || (size_ >= 6 && headRmc_)); }

 private:
  static constexpr char kGpRmc[] = "$GPRMC";

  std::uint64_t size_ = 0;
  unsigned matched_ = 0;
  unsigned char head_ = 0;
  bool found_ = false;
  bool headRmc_ = false;
};

// Whether one line (its LF left out) starts a fix cycle.
inline bool StartsFixCycle(std::string_view line) {
  FixCycleLine judge;
  judge.Reset();
  for (char c : line) judge.Take(static_cast<unsigned char>(c));
  return judge.StartsCycle();
}

// Finds the cycle boundaries of a stream fed in pieces of any size. Cycle 0
// always starts at offset 0; the sink's OnCycleStart(offset) is called with
// each later cycle's first byte, in order, when the line starting there ends
// (at its LF, or at Finish for the last line).
class FixCycleFinder {
 public:
  FixCycleFinder() { line_.Reset(); }

  template <class Sink>
  void Feed(const unsigned char* data, std::size_t count, Sink& sink) {
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char byte = data[i];
      ++offset_;
      if (byte == '\n') {
        EndLine(sink);
        lineStart_ = offset_;
        continue;
      }
      line_.Take(byte);
    }
  }

  template <class Sink>
  void Finish(Sink& sink) {
    EndLine(sink);
    lineStart_ = offset_;
  }

  // How many lines started a cycle, counting one at offset 0; none means the
  // stream has no RMC to pace by.
  std::uint64_t CycleLines() const { return cycleLines_; }

 private:
  template <class Sink>
  void EndLine(Sink& sink) {
    if (line_.StartsCycle()) {
      ++cycleLines_;
      if (contentBefore_) sink.OnCycleStart(lineStart_);
    }
    contentBefore_ = contentBefore_ || line_.Content();
    line_.Reset();
  }

  FixCycleLine line_;
  std::uint64_t offset_ = 0;
  std::uint64_t lineStart_ = 0;
  std::uint64_t cycleLines_ = 0;
  bool contentBefore_ = false;
};

}  // namespace trelvane::recording
