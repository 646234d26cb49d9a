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

// CRC-24Q of each byte value alone: a byte's eight steps of the division
// done at once, so that a stream built to make the filter check long
// candidates costs a lookup a byte.
struct Crc24qTable {
  std::uint32_t entries[256] = {};
  constexpr Crc24qTable() {
    for (std::uint32_t value = 0; value < 256; ++value) {
      std::uint32_t crc = value << 16;
      for (int bit = 0; bit < 8; ++bit) {
        crc <<= 1;
        if (crc & 0x1000000u) crc ^= 0x1864CFBu;
      }
      entries[value] = crc & 0xFFFFFFu;
    }
  }
};

inline constexpr Crc24qTable kCrc24qTable{};

// CRC-24Q (polynomial 0x1864CFB, initial 0, not reflected), continuing from
// `crc`. Over a whole frame, its own CRC included, it gives 0.
inline std::uint32_t Crc24q(const unsigned char* data, std::size_t count, std::uint32_t crc = 0) {
  for (std::size_t i = 0; i < count; ++i) {
    crc = ((crc << 8) ^ kCrc24qTable.entries[((crc >> 16) ^ data[i]) & 0xFFu]) & 0xFFFFFFu;
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

// x^(8n) mod the CRC-24Q polynomial for every n up to a frame's length, and
// the product of two remainders: what it takes to tell a held span's CRC
// from the CRCs of two of its prefixes, in a few dozen steps whatever its
// length.
struct Crc24qShifts {
  std::uint32_t byBytes[kMaxFrame + 1] = {};
  constexpr Crc24qShifts() {
    std::uint32_t shift = 1;
    for (int n = 0; n <= kMaxFrame; ++n) {
      byBytes[n] = shift;
      for (int bit = 0; bit < 8; ++bit) {
        shift <<= 1;
        if (shift & 0x1000000u) shift ^= 0x1864CFBu;
      }
    }
  }
};

inline constexpr Crc24qShifts kCrc24qShifts{};

// a * b mod the CRC-24Q polynomial, both of degree below 24.
inline std::uint32_t Crc24qProduct(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (int bit = 23; bit >= 0; --bit) {
    product <<= 1;
    if (product & 0x1000000u) product ^= 0x1864CFBu;
    if ((b >> bit) & 1u) product ^= a;
  }
  return product;
}

class Rtcm3Filter {
 public:
  // Takes `count` bytes; calls sink.OnFrame(frame, length) for each whole,
  // valid frame they complete. The frame is only lent for the call.
  template <class Sink>
  void Feed(const unsigned char* data, std::size_t count, Sink& sink) {
    for (std::size_t i = 0; i < count; ++i) {
      if (first_ == end_ && data[i] != kPreamble) {
        ++droppedBytes_;
        continue;
      }
      if (end_ == kRoom) Compact();
      bytes_[end_] = data[i];
      prefix_[end_ + 1] = Crc24q(&data[i], 1, prefix_[end_]);
      ++end_;
      Settle(sink);
    }
  }

  // Bytes held toward a frame not yet whole (they count as dropped if the
  // stream ends here).
  int Held() const { return end_ - first_; }
  void Reset() {
    droppedBytes_ += static_cast<unsigned long>(Held());
    first_ = end_ = 0;
  }

  unsigned long Frames() const { return frames_; }
  unsigned long FrameBytes() const { return frameBytes_; }
  unsigned long DroppedBytes() const { return droppedBytes_; }

 private:
  // Room for a frame's worth of held bytes and as much again behind them,
  // so that giving up a false start moves no bytes: only when the room is
  // used up are the held bytes moved to its start.
  static constexpr int kRoom = 2 * kMaxFrame;

  // The held bytes start at a 0xD3: emits them when they are a whole good
  // frame, or gives up their first byte and looks again from the next 0xD3
  // among them, until what is held may still become a frame.
  template <class Sink>
  void Settle(Sink& sink) {
    while (Held() > 0) {
      const unsigned char* held = bytes_ + first_;
      if (Held() >= 2 && (held[1] & 0xFC) != 0) {
        SkipToPreamble(1);
        continue;
      }
      if (Held() < kHeaderBytes) return;
      const int length = kHeaderBytes + (((held[1] & 0x03) << 8) | held[2]) + kCrcBytes;
      if (Held() < length) return;
      if (SpanCrc(first_, first_ + length) == 0) {
        sink.OnFrame(held, length);
        ++frames_;
        frameBytes_ += static_cast<unsigned long>(length);
        first_ += length;
        // A frame found inside a longer false one may have bytes held
        // behind it: they are looked through from the start again.
        SkipToPreamble(0);
      } else {
        SkipToPreamble(1);
      }
    }
  }

  // The CRC of the held bytes from `from` to `to`, from the CRCs of the
  // bytes before each: crc(A B) = crc(A) x^(8|B|) + crc(B).
  std::uint32_t SpanCrc(int from, int to) const {
    return prefix_[to] ^ Crc24qProduct(prefix_[from], kCrc24qShifts.byBytes[to - from]);
  }

  // Gives up the held bytes before the first 0xD3 at or after `from` (held
  // bytes count) as dropped.
  void SkipToPreamble(int from) {
    int next = first_ + from;
    while (next < end_ && bytes_[next] != kPreamble) ++next;
    droppedBytes_ += static_cast<unsigned long>(next - first_);
    first_ = next;
    if (first_ == end_) first_ = end_ = 0;
  }

  // Moves the held bytes to the room's start, and works their prefixes' CRCs out again.
  void Compact() {
    const int held = Held();
    for (int i = 0; i < held; ++i) bytes_[i] = bytes_[first_ + i];
    first_ = 0;
    end_ = held;
    prefix_[0] = 0;
    for (int i = 0; i < held; ++i) prefix_[i + 1] = Crc24q(&bytes_[i], 1, prefix_[i]);
  }

  unsigned char bytes_[kRoom] = {};
  std::uint32_t prefix_[kRoom + 1] = {};  // prefix_[i]: the CRC of bytes_[0] to bytes_[i - 1]
  int first_ = 0;                         // the held bytes are bytes_[first_] to bytes_[end_ - 1]
  int end_ = 0;
  unsigned long frames_ = 0;
  unsigned long frameBytes_ = 0;
  unsigned long droppedBytes_ = 0;
};

}  // namespace trelvane::corrections
