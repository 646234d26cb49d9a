#include "tools/sim/rtk_corrections.hpp"

#include <cstdio>

namespace trelvane::sim {

bool IsMsm(int type) {
  for (int first : {1071, 1081, 1091, 1121}) {
    if (type >= first && type <= first + 6) return true;
  }
  return false;
}

void RtkCorrections::Feed(const unsigned char* data, std::size_t count, std::int64_t nowMicros) {
  if (count == 0) return;
  if (!spanOpen_) {
    spanOpen_ = true;
    spanStart_ = nowMicros;
    frameBytesBefore_ = filter_.FrameBytes();
    droppedBefore_ = filter_.DroppedBytes();
  }
  now_ = nowMicros;
  FrameSink sink{*this};
  filter_.Feed(data, count, sink);
}

void RtkCorrections::Take(const unsigned char* frame, int length) {
  const int type = corrections::MessageType(frame, length);
  types_.set(static_cast<std::size_t>(type));
  if (anyFrame_ && now_ - lastFrame_ > kLostAfter) haveBase_ = haveMsm_ = false;
  const bool wasFloat = haveBase_ && haveMsm_;
  const bool afterGap = anyFrame_ && now_ - lastFrame_ > kGapAllowed;
  // 1005 and 1006 carry the reference station id right after the type.
  if ((type == 1005 || type == 1006) && length >= corrections::kHeaderBytes + 3 + corrections::kCrcBytes) {
    haveBase_ = true;
    station_ = ((frame[4] & 0x0F) << 8) | frame[5];
  }
  if (IsMsm(type)) haveMsm_ = true;
  if (haveBase_ && haveMsm_ && (!wasFloat || afterGap)) steadySince_ = now_;
  anyFrame_ = true;
  lastFrame_ = now_;
}

RtkSolution RtkCorrections::Solution(std::int64_t nowMicros) const {
  RtkSolution solution;
  const std::int64_t age = nowMicros - lastFrame_;
  if (!haveBase_ || !haveMsm_ || age > kLostAfter) return solution;
  const bool fixed = age <= kGapAllowed && nowMicros - steadySince_ >= kFixAfter;
  solution.quality = fixed ? 4 : 5;
  solution.mode = fixed ? 'R' : 'F';
  solution.ageTenths = static_cast<long>(age / 100000);
  solution.station = station_;
  return solution;
}

bool RtkCorrections::Report(std::int64_t nowMicros, std::string& line) {
  if (!spanOpen_ || nowMicros - spanStart_ < kReportEvery) return false;
  line = "rtcm";
  char number[48];
  for (std::size_t type = 0; type < types_.size(); ++type) {
    if (!types_.test(type)) continue;
    std::snprintf(number, sizeof number, " %zu", type);
    line += number;
  }
  std::snprintf(number, sizeof number, " (%lu bytes, %lu bad)", filter_.FrameBytes() - frameBytesBefore_,
                filter_.DroppedBytes() - droppedBefore_);
  line += number;
  types_.reset();
  spanOpen_ = false;
  return true;
}

}  // namespace trelvane::sim
