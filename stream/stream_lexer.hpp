// Cuts the received byte stream into lines, exactly as LineAssembler does, and
// takes binary frames out of it wherever they stand:
// - a UBX frame: B5 62, class, id, a little-endian length of at most
//   kMaxFramePayload, the payload, and a valid 8-bit Fletcher sum over class,
//   id, length and payload;
// - a SiRF binary frame: A0 A2, a 15-bit big-endian length of at most
//   kMaxFramePayload, the payload, a 15-bit sum of the payload bytes, B0 B3;
// - an RTCM 3 frame (a base receiver's corrections out of the same port):
//   D3, six zero bits and a 10-bit length, the payload, and a CRC-24Q that
//   holds over them all.
// A frame goes to the sink whole and apart from the lines, so the sentence
// after it is cut as if the frame had never been there.
//
// A sync byte starts a candidate that is held back until it proves a frame or
// fails. When it fails (a wrong byte, a length too long, a wrong sum), only its
// first byte is taken as not a frame: that byte goes to line assembly, and the
// held bytes after it are scanned again from the start. So line assembly sees
// every byte that is not part of a valid frame, in order, and cuts every line
// today's cutter would cut.
#pragma once

#include "corrections/rtcm3_frames.hpp"
#include "stream/line_assembler.hpp"

namespace trelvane::stream {

constexpr int kMaxFramePayload = 1024;
// The longest frame: UBX has 6 header and 2 sum bytes, SiRF 4 and 4, RTCM 3
// 3 and 3 (its length is 10 bits: at most 1023).
constexpr int kMaxFrameBytes = kMaxFramePayload + 8;

enum class Candidate { kNeedMore, kFrame, kFail };

// Judges the first `n` held bytes of a candidate, given that the first n - 1
// needed more: looks at byte n - 1 and, at a frame's last byte, at the sum.
inline Candidate JudgeCandidate(const unsigned char* c, int n) {
  const unsigned char last = c[n - 1];
  if (c[0] == 0xB5) {
    if (n == 2) return last == 0x62 ? Candidate::kNeedMore : Candidate::kFail;
    if (n < 6) return Candidate::kNeedMore;
    const int payload = c[4] | (c[5] << 8);
    if (payload > kMaxFramePayload) return Candidate::kFail;
    if (n < payload + 8) return Candidate::kNeedMore;
    unsigned a = 0, b = 0;
    for (int i = 2; i < payload + 6; ++i) {
      a = (a + c[i]) & 0xFFu;
      b = (b + a) & 0xFFu;
    }
    return (a == c[n - 2] && b == c[n - 1]) ? Candidate::kFrame : Candidate::kFail;
  }
  if (c[0] == 0xA0) {
    if (n == 2) return last == 0xA2 ? Candidate::kNeedMore : Candidate::kFail;
    if (n == 3) return (last & 0x80u) == 0 ? Candidate::kNeedMore : Candidate::kFail;
    if (n < 4) return Candidate::kNeedMore;
    const int payload = (c[2] << 8) | c[3];
    if (payload > kMaxFramePayload) return Candidate::kFail;
    if (n < payload + 8) return Candidate::kNeedMore;
    unsigned sum = 0;
    for (int i = 4; i < payload + 4; ++i) sum = (sum + c[i]) & 0x7FFFu;
    const unsigned sent = (static_cast<unsigned>(c[payload + 4]) << 8) | c[payload + 5];
    return (sum == sent && c[n - 2] == 0xB0 && c[n - 1] == 0xB3) ? Candidate::kFrame : Candidate::kFail;
  }
  if (c[0] == corrections::kPreamble) {
    if (n == 2) return (last & 0xFCu) == 0 ? Candidate::kNeedMore : Candidate::kFail;
    if (n < corrections::kHeaderBytes) return Candidate::kNeedMore;
    const int payload = ((c[1] & 0x03) << 8) | c[2];
    if (n < corrections::kHeaderBytes + payload + corrections::kCrcBytes) return Candidate::kNeedMore;
    return corrections::Crc24q(c, static_cast<std::size_t>(n)) == 0 ? Candidate::kFrame : Candidate::kFail;
  }
  return Candidate::kFail;
}

// The sink, as for LineAssembler::Feed, takes each whole line as
// OnLine(const Ch* line, int length) (CR LF kept, a zero after it), each line
// dropped as too long as OnLineCut(), which answers whether to go on with the
// bytes after it, and each frame as OnFrame(const unsigned char* frame, int
// length). The pointers are valid during the call only.
template <class Ch>
class StreamLexer {
 public:
  // Copyable, as its line assembly is: a copy goes on from the same place.
  StreamLexer() = default;

  // Feeds `count` received bytes. Returns how many were taken: all of them,
  // or up to the byte whose line the sink's OnLineCut() chose to end on.
  template <class Sink>
  int Feed(const unsigned char* data, int count, Sink& sink) {
    for (int i = 0; i < count; ++i) {
      if (held_ == 0) {
        // Most bytes: a line's, with no candidate held before them. The run
        // up to the next line feed or sync byte is stored in one go.
        const int limit = count - i < lines_.Room() ? count - i : lines_.Room();
        int run = 0;
        while (run < limit && data[i + run] != '\n' && !IsSync(data[i + run])) ++run;
        lines_.Store(data + i, run);
        i += run;
        if (i == count) break;
      }
      const unsigned char byte = data[i];
      if (held_ == 0 && !IsSync(byte)) {
        // Most bytes: a line's, with no candidate held before them.
        if (ToLines(byte, sink)) continue;
        stopAfterByte_ = false;
        return i + 1;
      }
      Push(byte, sink);
      if (stopAfterByte_) {
        stopAfterByte_ = false;
        return i + 1;
      }
    }
    return count;
  }

  // The reader's attempt ended (a read time-out, a read error, an over-long
  // line): a held candidate cannot be a frame any more, so its bytes go to
  // line assembly; then the partial line is dropped, as the reader always has.
  template <class Sink>
  void EndOfBurst(Sink& sink) {
    while (held_ > 0) Rescan(sink, true);
    stopAfterByte_ = false;
    lines_.Discard();
  }

  // Nothing came for a while behind a held candidate: a frame arrives whole
  // within milliseconds, so this one was none. Its bytes go to line
  // assembly, and the lines they complete are handed over; a partial line
  // stays, to be finished by the bytes still to come.
  template <class Sink>
  void GiveBackCandidate(Sink& sink) {
    while (held_ > 0) Rescan(sink, true);
  }

  // Bytes held as a frame candidate; bytes taken but not yet handed over.
  int Held() const { return held_; }
  int Pending() const { return lines_.Pending() + held_; }

 private:
  static bool IsSync(unsigned char byte) { return byte == 0xB5 || byte == 0xA0 || byte == corrections::kPreamble; }

  template <class Sink>
  void Push(unsigned char byte, Sink& sink) {
    if (held_ == 0) {
      if (!IsSync(byte)) {
        ToLines(byte, sink);
        return;
      }
      held_bytes_[held_++] = byte;
      return;
    }
    held_bytes_[held_++] = byte;  // held_ < kMaxFrameBytes: a longer candidate fails before
    switch (JudgeCandidate(held_bytes_, held_)) {
      case Candidate::kNeedMore:
        return;
      case Candidate::kFrame:
        sink.OnFrame(held_bytes_, held_);
        held_ = 0;
        return;
      case Candidate::kFail:
        Rescan(sink, false);
        return;
    }
  }

  // The held candidate failed (or, with `force`, cannot complete): its first
  // byte goes to line assembly, and the bytes after it are judged again from
  // the start. Leaves held only a candidate that still needs more bytes.
  template <class Sink>
  void Rescan(Sink& sink, bool force) {
    int start = 0;
    int end = held_;
    ToLines(held_bytes_[start++], sink);
    while (start < end) {
      if (!IsSync(held_bytes_[start])) {
        ToLines(held_bytes_[start++], sink);
        continue;
      }
      Candidate verdict = Candidate::kNeedMore;
      int n = 1;
      while (n < end - start) {
        ++n;
        verdict = JudgeCandidate(held_bytes_ + start, n);
        if (verdict != Candidate::kNeedMore) break;
      }
      if (verdict == Candidate::kFrame) {
        sink.OnFrame(held_bytes_ + start, n);
        start += n;
      } else if (verdict == Candidate::kFail || force) {
        ToLines(held_bytes_[start++], sink);
      } else {
        break;  // a candidate still waiting for bytes
      }
    }
    held_ = end - start;
    for (int i = 0; i < held_; ++i) held_bytes_[i] = held_bytes_[start + i];
  }

  // False when the byte ended a line too long for the buffer and the sink
  // chose to stop there (stopAfterByte_ says so too).
  template <class Sink>
  bool ToLines(unsigned char byte, Sink& sink) {
    switch (lines_.Push(byte)) {
      case LineAssembler<Ch>::Step::kStored:
        return true;
      case LineAssembler<Ch>::Step::kLine:
        sink.OnLine(lines_.Line(), lines_.LineLength());
        return true;
      case LineAssembler<Ch>::Step::kOverflow:
        if (sink.OnLineCut()) return true;
        stopAfterByte_ = true;
        return false;
    }
    return true;
  }

  LineAssembler<Ch> lines_;
  unsigned char held_bytes_[kMaxFrameBytes] = {};
  int held_ = 0;
  bool stopAfterByte_ = false;
};

}  // namespace trelvane::stream
