// Cuts the received byte stream into lines, as the reader threads do: a line
// is every byte since the previous line feed, carriage returns kept, up to and
// including the line feed, then a terminating zero. The buffer holds 512
// characters, so a line carries at most 510 bytes before its line feed: when
// 511 are stored and another byte arrives, everything stored and that byte
// (a line feed too) are dropped, and the next byte starts a new line.
#pragma once

namespace trelvane::stream {

constexpr int kLineBufferChars = 512;

template <class Ch>
class LineAssembler {
 public:
  enum class Step {
    kStored,     // the byte was kept; the line goes on
    kLine,       // a line feed completed a line: Line() holds it until the next Push
    kOverflow,   // the line grew too long and was dropped with this byte
  };

  // A copy goes on from the same place in the stream: a recording's seek
  // takes up a copy kept at a point of the file.
  LineAssembler() = default;

  // Takes one received byte; on the handheld it is widened to one UTF-16 unit.
  Step Push(unsigned char byte) {
    if (fill_ > kLineBufferChars - 2) {
      fill_ = 0;
      return Step::kOverflow;
    }
    buffer_[fill_] = static_cast<Ch>(byte);
    if (byte != '\n') {
      ++fill_;
      return Step::kStored;
    }
    buffer_[fill_ + 1] = Ch(0);
    lineLength_ = fill_ + 1;
    fill_ = 0;
    return Step::kLine;
  }

  // Feeds `count` received bytes: each whole line goes to
  // sink.OnLine(Line(), LineLength()) and each line dropped as too long to
  // sink.OnLineCut(), which answers whether to go on with the bytes after it.
  // Returns how many bytes were taken; the rest stay with the caller.
  template <class Sink>
  int Feed(const unsigned char* data, int count, Sink& sink) {
    for (int i = 0; i < count; ++i) {
      switch (Push(data[i])) {
        case Step::kStored:
          break;
        case Step::kLine:
          sink.OnLine(buffer_, lineLength_);
          break;
        case Step::kOverflow:
          if (!sink.OnLineCut()) return i + 1;
          break;
      }
    }
    return count;
  }

  // How many bytes without a line feed Store may take now: as many as Push
  // would keep before the line grows too long.
  int Room() const { return fill_ < kLineBufferChars - 1 ? kLineBufferChars - 1 - fill_ : 0; }

  // Keeps `count` (at most Room()) bytes, none a line feed, as `count`
  // Pushes would: the run of a line's bytes taken in one go.
  void Store(const unsigned char* data, int count) {
    for (int i = 0; i < count; ++i) buffer_[fill_ + i] = static_cast<Ch>(data[i]);
    fill_ += count;
  }

  // Drops a partial line (a read time-out or a read error ended it).
  void Discard() { fill_ = 0; }

  const Ch* Line() const { return buffer_; }
  int LineLength() const { return lineLength_; }
  int Pending() const { return fill_; }

 private:
  Ch buffer_[kLineBufferChars] = {};
  int fill_ = 0;
  int lineLength_ = 0;
};

}  // namespace trelvane::stream
