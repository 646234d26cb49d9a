// Tells whether a received byte stream holds a receiver's sentence: one whole
// line, from "$" to "*hh" CR LF, whose checksum passes the intake's test, from
// any talker, proprietary ones ("$P...") included. Bytes before the "$" on
// the same line (noise, a line cut by the start of listening) do not hide it.
// The port scan feeds it what it reads at one rate.
#pragma once

#include "nmea/sentence_intake.hpp"
#include "stream/line_assembler.hpp"

namespace trelvane::stream {

class SentenceSpotter {
 public:
  // Takes `count` received bytes; true once a sentence was among all bytes
  // taken since the last Reset.
  bool Feed(const unsigned char* bytes, int count) {
    for (int i = 0; i < count && !found_; ++i) {
      if (lines_.Push(bytes[i]) != LineAssembler<char>::Step::kLine) continue;
      const char* line = lines_.Line();
      const int length = lines_.LineLength();
      for (int start = 0; start < length && !found_; ++start)
        found_ = line[start] == '$' && nmea::ChecksumPasses(line + start, length - start);
    }
    return found_;
  }

  bool Found() const { return found_; }

  // Forgets everything taken: listening starts again (at another rate).
  void Reset() {
    lines_.Discard();
    found_ = false;
  }

 private:
  LineAssembler<char> lines_;
  bool found_ = false;
};

}  // namespace trelvane::stream
