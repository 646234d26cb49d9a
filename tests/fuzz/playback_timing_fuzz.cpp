// libFuzzer target: a recording's timing file, as any bytes, read as the
// monitor reads one beside the file it plays, and the playback clock paced
// by it through any run of the File commands, seeks and timer calls. A
// timing file is outside input: cut short, out of order, pointing past the
// file's end or hostile. Besides the sanitizers' checks: every range the
// clock answers follows the last and lies inside the file, play time never
// passes the length, and the position text stays inside its buffer.
//
// Input: a flags byte (bit 0: the timing's magic is put in front, so that
// the records themselves are fuzzed), two 16-bit lengths (timing, file),
// the timing, the file, then one byte per step.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "recording/playback_clock.hpp"
#include "recording/recording_format.hpp"

namespace {

using namespace trelvane::recording;

class MemoryFile final : public PlaybackBytes {
 public:
  MemoryFile(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) override {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<std::size_t>(capacity, size_ - static_cast<std::size_t>(offset));
    std::memcpy(into, bytes_ + offset, count);
    return count;
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
};

void Check(bool holds) {
  if (!holds) std::abort();
}

std::size_t Take16(const std::uint8_t*& data, std::size_t& size) {
  if (size < 2) return 0;
  const std::size_t value = data[0] | (data[1] << 8);
  data += 2;
  size -= 2;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool magic = (data[0] & 1) != 0;
  ++data;
  --size;
  const std::size_t timingBytes = std::min(Take16(data, size), size);
  std::vector<unsigned char> timing;
  if (magic) timing.assign(std::begin(kTimingMagic), std::end(kTimingMagic));
  timing.insert(timing.end(), data, data + timingBytes);
  data += timingBytes;
  size -= timingBytes;
  const std::size_t fileBytes = std::min(Take16(data, size), size);
  MemoryFile file(data, fileBytes);
  data += fileBytes;
  size -= fileBytes;

  std::vector<TimedRead> reads;
  if (!ParseTiming(timing.data(), timing.size(), reads)) reads.clear();
  PlaybackClock clock;
  const OpenResult result = clock.Open(file, reads.empty() ? nullptr : reads.data(), reads.size());
  Check(result == OpenResult::kOpened || result == OpenResult::kTimingRefused);
  Check(clock.pacing() != Pacing::kTimed || result == OpenResult::kOpened);

  std::uint32_t now = 0;
  std::uint64_t delivered = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t step = data[i];
    now += static_cast<std::uint32_t>(step >> 3) * 37u;
    switch (step & 7) {
      case 0: clock.Play(now); break;
      case 1: clock.Pause(now); break;
      case 2: clock.Step(); break;
      case 3: clock.Faster(now); break;
      case 4: clock.Slower(now); break;
      case 5: delivered = clock.Seek(static_cast<std::uint32_t>(step) * 5u, now); break;
      case 6: clock.MsUntilDue(now); break;
      default: {
        const ByteRange range = clock.Due(now, 1u + (step >> 3) * 64u);
        Check(range.offset == delivered);
        Check(range.count <= 1u + (step >> 3) * 64u);
        delivered += range.count;
        Check(delivered <= fileBytes);
        break;
      }
    }
    Check(clock.Delivered() == delivered && delivered <= fileBytes);
    Check(clock.PositionMs() <= clock.LengthMs());
    char text[12];
    const int length = clock.PositionText(text, static_cast<int>(step % sizeof text));
    Check(length >= 0 && length < static_cast<int>(sizeof text) && (step % sizeof text == 0 || text[length] == 0));
  }
  return 0;
}
