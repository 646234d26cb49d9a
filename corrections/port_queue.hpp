// Corrections frames waiting for the receiver's port. The caster's stream
// arrives in bursts, an epoch at a time; the port takes baud / 10 bytes a
// second. While the stream fits, every frame waits its turn. While it does
// not (a four-system MSM7 stream into 9600 baud), what waits of an older
// epoch is worth less than the newest epoch: when a new epoch begins, the
// older epochs' waiting frames are dropped whole, except the station's
// position (1005, 1006), which a rover needs to use any of them. A frame is
// taken out whole before it is written, so a drop never tears one.
//
// An epoch ends with the observation frame that says no more of it follow
// (the MSM's multiple-message bit, the legacy messages' synchronous flag,
// clear); whatever comes after that begins the next one.
//
// Portable and allocation-free: a fixed ring of whole frames.
#pragma once

#include <cstdint>
#include <cstring>

#include "corrections/rtcm3_frames.hpp"

namespace trelvane::corrections {

// The share of the port's bytes a second a stream may take and still fit.
constexpr int kFitPercent = 80;

// Whether a stream of `bytesPerSecond` fits a port at `baud` (10 bits a
// byte on the wire); every stream fits a link without a rate (0).
inline bool FitsPort(double bytesPerSecond, unsigned long baud) {
  return baud == 0 || bytesPerSecond * 100.0 <= static_cast<double>(baud) / 10.0 * kFitPercent;
}

// An observation frame's "more of this epoch follow" bit: 1 or 0, or -1 for
// a frame that carries no such bit (station, ephemeris, bias, text).
inline int MoreOfEpochFollow(const unsigned char* frame, int length) {
  const int type = MessageType(frame, length);
  int bit = -1;  // the flag's place in the payload, after type, station and epoch time
  if ((type >= 1001 && type <= 1004) || (type >= 1071 && type <= 1137 && type % 10 >= 1 && type % 10 <= 7)) {
    bit = 12 + 12 + 30;
  } else if (type >= 1009 && type <= 1012) {
    bit = 12 + 12 + 27;  // GLONASS time of day is 27 bits
  }
  if (bit < 0 || kHeaderBytes + bit / 8 >= length - kCrcBytes) return -1;
  return (frame[kHeaderBytes + bit / 8] >> (7 - bit % 8)) & 1;
}

inline bool IsStationFrame(int type) { return type == 1005 || type == 1006; }

class PortQueue {
 public:
  static constexpr int kSlots = 32;  // about eight epochs of four-system MSM7

  // Takes a whole frame. `over`: the stream does not fit the port, so older
  // epochs' waiting frames give way to a new epoch. A full queue gives up
  // its oldest frame that is not the station's. Returns the bytes dropped.
  int Push(const unsigned char* frame, int length, bool over) {
    if (length <= 0 || length > kMaxFrame) return 0;
    int dropped = 0;
    if (epochEnded_) {
      ++epoch_;
      epochEnded_ = false;
      if (over) dropped += DropBefore(epoch_);
    }
    if (count_ == kSlots) dropped += DropOldest();
    Slot& slot = slots_[(head_ + count_) % kSlots];
    std::memcpy(slot.bytes, frame, static_cast<std::size_t>(length));
    slot.length = length;
    slot.epoch = epoch_;
    ++count_;
    if (MoreOfEpochFollow(frame, length) == 0) epochEnded_ = true;
    return dropped;
  }

  // The oldest waiting frame, copied to `out` (kMaxFrame bytes) and taken
  // out; its length, or 0 when none waits.
  int Pop(unsigned char* out) {
    if (count_ == 0) return 0;
    const Slot& slot = slots_[head_];
    const int length = slot.length;
    std::memcpy(out, slot.bytes, static_cast<std::size_t>(length));
    head_ = (head_ + 1) % kSlots;
    --count_;
    return length;
  }

  bool Empty() const { return count_ == 0; }
  int Count() const { return count_; }

 private:
  struct Slot {
    int length = 0;
    std::uint32_t epoch = 0;
    unsigned char bytes[kMaxFrame];
  };

  // Keeps, in order, the station's frames and those of `epoch` on.
  int DropBefore(std::uint32_t epoch) {
    int dropped = 0, kept = 0;
    for (int i = 0; i < count_; ++i) {
      Slot& slot = slots_[(head_ + i) % kSlots];
      if (slot.epoch - epoch < 0x80000000u || IsStationFrame(MessageType(slot.bytes, slot.length))) {
        Slot& to = slots_[(head_ + kept) % kSlots];
        if (&to != &slot) to = slot;
        ++kept;
      } else {
        dropped += slot.length;
      }
    }
    count_ = kept;
    return dropped;
  }

  int DropOldest() {
    int at = 0;
    while (at < count_ - 1 && IsStationFrame(MessageType(slots_[(head_ + at) % kSlots].bytes,
                                                         slots_[(head_ + at) % kSlots].length))) {
      ++at;
    }
    const int dropped = slots_[(head_ + at) % kSlots].length;
    for (int i = at; i + 1 < count_; ++i) slots_[(head_ + i) % kSlots] = slots_[(head_ + i + 1) % kSlots];
    --count_;
    return dropped;
  }

  Slot slots_[kSlots];
  int head_ = 0, count_ = 0;
  std::uint32_t epoch_ = 0;
  bool epochEnded_ = false;
};

}  // namespace trelvane::corrections
