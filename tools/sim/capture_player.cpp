#include "tools/sim/capture_player.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "recording/fix_cycles.hpp"
#include "tools/sim/fix_times.hpp"

namespace trelvane::sim {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1000000;
constexpr std::size_t kMaxChunkBytes = 1024;

}  // namespace

std::int64_t WireMicros(std::size_t bytes, unsigned long baud) {
  if (baud == 0) return 0;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes) * kBitsPerWireByte;
  const std::uint64_t micros = (bits * kMicrosPerSecond + baud - 1) / baud;
  return static_cast<std::int64_t>(micros);
}

std::size_t ChunkBytes(unsigned long baud) {
  const std::size_t perTwentyMs = WireBytesPerSecond(baud) / 50;
  return std::clamp<std::size_t>(perTwentyMs, 1, kMaxChunkBytes);
}

void Capture::Load(std::string_view bytes, const NoiseSettings& noise, bool hundredths) {
  wire_.clear();
  cycleEnds_.clear();
  validEnds_.clear();
  wholeEnds_.clear();
  for (std::size_t& count : noise_) count = 0;
  NoiseRandom random(noise.seed);
  std::string next;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (recording::StartsFixCycle(line) && !wire_.empty()) {
      cycleEnds_.push_back(wire_.size());
    }
    next.assign(line);
    if (hundredths) TimeInHundredths(next);
    next.append("\r\n");
    bool whole = true;
    if (noise.rate > 0) AppendNoiseGap(next, noise.rate, random, whole);
    wire_.append(next);
    if (!ValidSentence(next)) continue;
    validEnds_.push_back(wire_.size());
    if (whole) wholeEnds_.push_back(wire_.size());
  }
  if (!wire_.empty()) cycleEnds_.push_back(wire_.size());
}

void Capture::AppendNoiseGap(std::string_view next, double rate, NoiseRandom& random, bool& whole) {
  constexpr int kTries = 8;
  constexpr int kItemsMax = 16;  // a gap stays finite whatever the rate
  std::string gap;
  std::size_t made[kNoiseKinds];
  for (int attempt = 0; attempt < kTries; ++attempt) {
    gap.clear();
    for (std::size_t& count : made) count = 0;
    for (int items = 0; items < kItemsMax && random.Unit() < rate; ++items) {
      const auto kind = static_cast<NoiseKind>(random.Below(kNoiseKinds));
      ++made[static_cast<int>(AppendNoise(kind, next, random, gap))];
    }
    const GapCheck check = CheckGap(gap, next);
    if (!check.safe) continue;
    wire_.append(gap);
    for (int k = 0; k < kNoiseKinds; ++k) noise_[k] += made[k];
    whole = check.whole;
    return;
  }
  whole = CheckGap("", next).whole;
}

SentenceCount Capture::SentencesEndingIn(std::size_t from, std::size_t to) const {
  // An end offset is just past the sentence's last byte.
  const auto count = [from, to](const std::vector<std::size_t>& ends) {
    const auto first = std::upper_bound(ends.begin(), ends.end(), from);
    const auto last = std::upper_bound(ends.begin(), ends.end(), to);
    return static_cast<std::uint64_t>(last - first);
  };
  return SentenceCount{count(validEnds_), count(wholeEnds_)};
}

std::size_t Capture::NoiseItems() const {
  std::size_t all = 0;
  for (std::size_t count : noise_) all += count;
  return all;
}

std::string_view Capture::Cycle(std::size_t i) const {
  const std::size_t start = i == 0 ? 0 : cycleEnds_[i - 1];
  return std::string_view(wire_).substr(start, cycleEnds_[i] - start);
}

bool ReadWholeFile(const char* path, std::string& bytes, char* why, std::size_t whyCapacity) {
  bytes.clear();
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    std::snprintf(why, whyCapacity, "%s", std::strerror(errno));
    return false;
  }
  char chunk[1 << 16];
  std::size_t got;
  bool ok = true;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes.size() + got > kMaxCaptureBytes) {
      std::snprintf(why, whyCapacity, "larger than %zu bytes", kMaxCaptureBytes);
      ok = false;
      break;
    }
    bytes.append(chunk, got);
  }
  if (ok && std::ferror(f) != 0) {
    std::snprintf(why, whyCapacity, "read error");
    ok = false;
  }
  std::fclose(f);
  return ok;
}

Player::Player(const Capture& capture, unsigned long baud, bool fast, bool once)
    : capture_(capture),
      baud_(baud),
      fast_(fast),
      once_(once),
      chunk_(ChunkBytes(baud)),
      lead_(WireMicros(ChunkBytes(baud), baud)),
      period_(kMicrosPerSecond) {}

void Player::SetBaud(unsigned long baud) {
  baud_ = baud;
  chunk_ = ChunkBytes(baud);
  lead_ = WireMicros(chunk_, baud);
}

void Player::SetFixRate(unsigned hz) {
  period_ = kMicrosPerSecond / std::clamp(hz, 1u, 10u);
  // A cycle waiting for its start is moved to the new period from the
  // start of the one before; the first cycle of a play still starts at once.
  if (sent_ == 0 && !fast_ && !clock_ && gate_ > cycleStart_) gate_ = cycleStart_ + period_;
}

std::string_view Player::CycleBytes() const { return fixTimes_ ? std::string_view(stamped_) : capture_.Cycle(cycle_); }

void Player::KeepClock(std::int64_t utcMinusNowMicros, long lateMs) {
  clock_ = true;
  utcMinusNow_ = utcMinusNowMicros;
  late_ = static_cast<std::int64_t>(lateMs) * 1000;
}

void Player::ColdStart(long ms) {
  coldMs_ = ms;
  if (sent_ != 0) return;  // the cycle on the wire keeps its fix
  fixFrom_ = played_ + ms / 10;
  coldMs_ = -1;
  StampCurrent();
}

void Player::StampCurrent() {
  if (!fixTimes_ || finished_) return;
  stamped_.assign(capture_.Cycle(cycle_));
  char date[32] = {};
  if (clock_) UtcDate(stampUtc_ / kMicrosPerSecond, date);
  StampCycle(stamped_, fixTime_, clock_ ? date : nullptr, played_ < fixFrom_);
}

// The next cycle's fix time: one period on, or with the PC's clock the next
// whole period of UTC that it can still leave after.
void Player::NextStamp(std::int64_t nowMicros) {
  if (!clock_) {
    fixTime_ = (fixTime_ + static_cast<std::uint32_t>(period_ / 10000)) % kCentisecondsPerDay;
    played_ += period_ / 10000;
    return;
  }
  std::int64_t next = (stampUtc_ / period_ + 1) * period_;
  const std::int64_t earliest = nowMicros + utcMinusNow_ - late_;
  if (next < earliest) next = (earliest / period_ + 1) * period_;
  played_ += (next - stampUtc_) / 10000;
  stampUtc_ = next;
  fixTime_ = static_cast<std::uint32_t>(next / 10000 % kCentisecondsPerDay);
  gate_ = fast_ ? std::numeric_limits<std::int64_t>::min() : next + late_ - utcMinusNow_;
}

void Player::Start(std::int64_t nowMicros) {
  cycle_ = 0;
  sent_ = 0;
  for (std::size_t i = 0; fixTimes_ && i < capture_.CycleCount(); ++i) {
    const std::string_view cycle = capture_.Cycle(i);
    bool found = false;
    for (std::size_t start = 0; start < cycle.size() && !found;) {
      std::size_t end = cycle.find('\n', start);
      if (end == std::string_view::npos) end = cycle.size();
      found = ReadFixTime(cycle.substr(start, end - start), fixTime_);
      start = end + 1;
    }
    if (found) break;
  }
  gate_ = nowMicros;
  cycleStart_ = nowMicros;
  wireFree_ = nowMicros;
  finished_ = capture_.CycleCount() == 0;
  if (clock_) {
    stampUtc_ = 0;
    NextStamp(nowMicros);
  }
  played_ = 0;
  StampCurrent();
}

Action Player::Next(std::int64_t nowMicros) const {
  Action action;
  if (finished_) {
    if (nowMicros < wireFree_) {
      action.kind = Action::Kind::kWait;
      action.untilMicros = wireFree_;
    }
    return action;  // kDone once the last byte is off the wire
  }
  const std::string_view cycle = CycleBytes();
  std::int64_t at = wireFree_ - lead_;
  if (sent_ == 0) at = std::max(at, gate_);
  if (nowMicros < at) {
    action.kind = Action::Kind::kWait;
    action.untilMicros = at;
    return action;
  }
  action.kind = Action::Kind::kWrite;
  action.data = cycle.data() + sent_;
  action.size = std::min(chunk_, cycle.size() - sent_);
  return action;
}

void Player::Wrote(std::size_t written, std::int64_t nowMicros) {
  if (written == 0 || finished_) return;
  if (sent_ == 0) {
    // The cycle starts on the wire once it is free; a write far later than
    // that (the process was held up) moves the schedule rather than having
    // the following cycles catch up.
    cycleStart_ = std::max(gate_, wireFree_);
    if (nowMicros > cycleStart_ + lead_) cycleStart_ = nowMicros;
  }
  wireFree_ = std::max(wireFree_, nowMicros) + WireMicros(written, baud_);
  const std::size_t at = capture_.CycleOffset(cycle_) + sent_;
  const SentenceCount done = capture_.SentencesEndingIn(at, at + written);
  sentencesSent_.valid += done.valid;
  sentencesSent_.whole += done.whole;
  sent_ += written;
  if (sent_ < CycleBytes().size()) return;

  sent_ = 0;
  if (once_ && cycle_ + 1 == capture_.CycleCount()) {
    finished_ = true;
    return;
  }
  cycle_ = (cycle_ + 1) % capture_.CycleCount();
  gate_ = fast_ ? std::numeric_limits<std::int64_t>::min() : cycleStart_ + period_;
  NextStamp(nowMicros);
  if (coldMs_ >= 0) {
    fixFrom_ = played_ + coldMs_ / 10;
    coldMs_ = -1;
  }
  StampCurrent();
}

void WirePacer::SetBaud(unsigned long baud) {
  baud_ = baud;
  chunk_ = ChunkBytes(baud);
  lead_ = WireMicros(chunk_, baud);
}

void WirePacer::Wrote(std::size_t written, std::int64_t nowMicros) {
  if (written == 0) return;
  wireFree_ = std::max(wireFree_, nowMicros) + WireMicros(written, baud_);
}

bool ReplyLines::Push(char byte) {
  if (delivered_) {
    size_ = 0;
    delivered_ = false;
  }
  if (byte == '\n') return Complete();
  line_[size_++] = byte;
  return size_ == kMaxReplyLine && Complete();
}

bool ReplyLines::Complete() {
  if (size_ > 0 && line_[size_ - 1] == '\r') --size_;
  if (size_ == 0) return false;
  delivered_ = true;
  return true;
}

}  // namespace trelvane::sim
