// libFuzzer target: a caster's answer, as any bytes, through NtripAnswer,
// its data through the RTCM 3 frame filter and its table through the source
// table reader. The first byte chooses how the rest is cut into reads (1 to
// 128 bytes each). Besides the sanitizers' checks: every frame the filter
// hands on is whole and has a good CRC, and the filter's counts add up to
// the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "corrections/ntrip_answer.hpp"
#include "corrections/rtcm3_frames.hpp"
#include "corrections/source_table.hpp"

namespace {

using namespace trelvane::corrections;

struct FrameCheck {
  void OnFrame(const unsigned char* frame, int length) {
    const int declared = kHeaderBytes + (((frame[1] & 3) << 8) | frame[2]) + kCrcBytes;
    if (frame[0] != kPreamble || length != declared || length > kMaxFrame) std::abort();
    if (Crc24q(frame, static_cast<std::size_t>(length)) != 0) std::abort();
  }
};

struct Body {
  Rtcm3Filter filter;
  SourceTable table;
  FrameCheck frames;
  std::size_t data = 0;
  void OnData(const unsigned char* bytes, std::size_t count) {
    data += count;
    filter.Feed(bytes, count, frames);
  }
  void OnTable(const unsigned char* bytes, std::size_t count) { table.Take(bytes, count); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = data[0] % 128 + 1;
  NtripAnswer answer;
  Body body;
  for (std::size_t at = 1; at < size; at += step) {
    answer.Feed(data + at, size - at < step ? size - at : step, body);
  }
  body.table.Finish();
  body.table.Order(true, 50.0, 8.0);
  char item[128];
  for (const Mountpoint& mount : body.table.Mounts()) SourceTable::ItemText(mount, item, sizeof item);
  body.filter.Reset();
  if (body.filter.FrameBytes() + body.filter.DroppedBytes() != body.data) std::abort();
  return 0;
}
