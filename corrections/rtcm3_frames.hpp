// RTCM 3 frames in a byte stream that may carry anything: only whole frames
// whose CRC-24Q holds come out, in the order they came in. A frame is 0xD3,
// six reserved zero bits and a 10-bit payload length, the payload, and a
// 24-bit CRC over header and payload.
//
// A byte that starts no good frame costs only itself: a stray 0xD3, a frame
// cut short by the next one, or a frame with a bad CRC is given up from the
// byte after its 0xD3, so a whole frame among the bytes it claimed is still
// found. The receiver's port sees nothing else, since a receiver fed a
// broken frame may take it as a start and lose the good one behind it.
//
// Portable and allocation-free: the filter holds at most one frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane::corrections {

constexpr unsigned char kPreamble = 0xD3;
constexpr int kHeaderBytes = 3;
constexpr int kCrcBytes = 3;
constexpr int kMaxPayload = 1023;
constexpr int kMaxFrame = kHeaderBytes + kMaxPayload + kCrcBytes;

// CRC-24Q (polynomial 0x1864CFB, initial 0, not reflected), continuing from
// `crc`. Over a whole frame, its own CRC included, it gives 0.
inline std::uint32_t Crc24q(const unsigned char* data, std::size_t count, std::uint32_t crc = 0) {
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= static_cast<std::uint32_t>(data[i]) << 16;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x1000000u) crc ^= 0x1864CFBu;
    }
  }
  return crc & 0xFFFFFFu;
}

// The message type: the payload's first 12 bits (0 for a frame too short to say).
inline int MessageType(const unsigned char* frame, int length) {
  if (length < kHeaderBytes + 2 + kCrcBytes) return 0;
  return (frame[3] << 4) | (frame[4] >> 4);
}

// Wraps `payload` (at most kMaxPayload bytes) into a whole frame at `out`
// (kMaxFrame bytes); answers its length, or 0 for a payload too long.
inline int BuildFrame(const unsigned char* payload, int payloadLength, unsigned char* out) {
  if (payloadLength < 0 || payloadLength > kMaxPayload) return 0;
  out[0] = kPreamble;
  out[1] = static_cast<unsigned char>(payloadLength >> 8);
  out[2] = static_cast<unsigned char>(payloadLength & 0xFF);
  for (int i = 0; i < payloadLength; ++i) out[kHeaderBytes + i] = payload[i];
  const int body = kHeaderBytes + payloadLength;
  const std::uint32_t crc = Crc24q(out, static_cast<std::size_t>(body));
  out[body] = static_cast<unsigned char>(crc >> 16);
  out[body + 1] = static_cast<unsigned char>(crc >> 8);
  out[body + 2] = static_cast<unsigned char>(crc);
  return body + kCrcBytes;
}

class Rtcm3Filter {
 public:
  // Takes `count` bytes; calls sink.OnFrame(frame, length) for each whole,
  // valid frame they complete. The frame is only lent for the call.
  template <class Sink>
  void Feed(const unsigned char* data, std::size_t count, Sink& sink) {
    for (std::size_t i = 0; i < count; ++i) {
      if (held_ == 0 && data[i] != kPreamble) {
        ++droppedBytes_;
        continue;
      }
      bytes_[held_++] = data[i];
      Settle(sink);
    }
  }

  // Bytes held toward a frame not yet whole (they count as dropped if the
  // stream ends here).
  int Held() const { return held_; }
  void Reset() {
    droppedBytes_ += static_cast<unsigned long>(held_);
    held_ = 0;
  }

  unsigned long Frames() const { return frames_; }
  unsigned long FrameBytes() const { return frameBytes_; }
  unsigned long DroppedBytes() const { return droppedBytes_; }

 private:
  // The held bytes start at a 0xD3: emits them when they are a whole good
  // frame, or gives up their first byte and looks again from the next 0xD3
  // among them, until what is held may still become a frame.
  template <class Sink>
  void Settle(Sink& sink) {
    while (held_ > 0) {
      if (held_ >= 2 && (bytes_[1] & 0xFC) != 0) {
        GiveUpFirst();
        continue;
      }
      if (held_ < kHeaderBytes) return;
      const int length = kHeaderBytes + (((bytes_[1] & 0x03) << 8) | bytes_[2]) + kCrcBytes;
      if (held_ < length) return;
      if (Crc24q(bytes_, static_cast<std::size_t>(length)) == 0) {
        sink.OnFrame(static_cast<const unsigned char*>(bytes_), length);
        ++frames_;
        frameBytes_ += static_cast<unsigned long>(length);
        Drop(length, false);
        // A frame found inside a longer false one may have bytes held
        // behind it: they are looked through from the start again.
        SkipToPreamble(0);
      } else {
        SkipToPreamble(1);
      }
    }
  }

  void GiveUpFirst() { SkipToPreamble(1); }

  // Drops the held bytes before the first 0xD3 at or after `from`.
  void SkipToPreamble(int from) {
    int next = from;
    while (next < held_ && bytes_[next] != kPreamble) ++next;
    if (next > 0) Drop(next, true);
  }

  void Drop(int count, bool lost) {
    if (lost) droppedBytes_ += static_cast<unsigned long>(count);
    for (int i = count; i < held_; ++i) bytes_[i - count] = bytes_[i];
    held_ -= count;
  }

  unsigned char bytes_[kMaxFrame] = {};
  int held_ = 0;
  unsigned long frames_ = 0;
  unsigned long frameBytes_ = 0;
  unsigned long droppedBytes_ = 0;
};

}  // namespace trelvane::corrections
