// What the receiver did, a second at a time, for the charts: for each second
// of receiver time the C/N0 of every satellite in view (the mean over the
// second's reports) and whether it was used, the satellites used and in view,
// the second's worst HDOP, PDOP and fix quality, and the altitude.
//
// The builder reads sentences as they come (live, or a played file read
// through from its start): the GGA and RMC of one UTC time are one fix cycle,
// and when a cycle ends it takes the satellite view as the cycle's GSV and
// GSA left it. A second's sample is kept once a cycle of a later second
// begins. Times are dated by the RMC; before the first date, and for a
// receiver that sends none, a sample's time is its second of the day alone.
//
// At most kHistorySeconds samples, the oldest dropping off. A sample holds up
// to kHistorySatellites satellites, each a byte for its place in the
// history's table of satellites and a byte for its C/N0 and use: a day with
// 64 satellites in view costs 86,400 x 160 bytes, 13.8 MB. The room is taken
// kHistoryChunk samples at a time as the history grows (once every 17
// minutes), never per line.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "monitor/track_cycles.hpp"
#include "nmea/decode_fix.hpp"
#include "nmea/decode_gnss.hpp"
#include "nmea/gnss_numbering.hpp"
#include "nmea/gnss_view.hpp"
#include "nmea/sentence_intake.hpp"

namespace trelvane::monitor {

constexpr int kHistorySeconds = 86400;
constexpr int kHistorySatellites = 64;
constexpr int kHistoryChunk = 1024;
constexpr int kHistoryChunks = (kHistorySeconds + kHistoryChunk - 1) / kHistoryChunk + 1;
constexpr double kHistoryGapSeconds = 5.0;
constexpr std::uint8_t kNoSlot = 0xFF;

// The fix quality as the charts band it, worst first.
enum class FixBand : std::uint8_t { kNone, kGps, kDgps, kRtkFloat, kRtkFixed };
inline FixBand BandOf(int quality) {
  switch (quality) {
    case 1: case 3: case 7: case 8: return FixBand::kGps;
    case 2: return FixBand::kDgps;
    case 5: return FixBand::kRtkFloat;
    case 4: return FixBand::kRtkFixed;
    default: return FixBand::kNone;
  }
}

struct HistorySatellite {
  std::uint8_t slot;     // in the history's table of satellites
  std::uint8_t cn0Used;  // C/N0 in dB-Hz (0-99) in the low 7 bits, used in the top bit
  int Cn0() const { return cn0Used & 0x7F; }
  bool Used() const { return (cn0Used & 0x80) != 0; }
};

struct HistorySample {
  std::int64_t second = 0;    // receiver UTC: seconds since 1970, or of the day when undated
  std::uint64_t offset = 0;   // a played file: the byte where the sample was whole
  float hdop = NAN, pdop = NAN, altitude = NAN;  // NaN: the receiver gave none that second
  std::int8_t quality = -1;   // the GGA quality of the second's worst band; -1 without a GGA
  std::uint8_t used = 0;      // satellites used (the GSA's, else the GGA's count)
  std::uint8_t inView = 0;
  std::uint8_t count = 0;     // satellites[] filled
  bool dated = false;
  HistorySatellite satellites[kHistorySatellites];
};

// The samples, oldest first, and the satellites they name.
class History {
 public:
  int Count() const { return count_; }
  const HistorySample& At(int i) const {
    const int at = (first_ + i) % kCapacity;
    return chunks_[at / kHistoryChunk]->samples[at % kHistoryChunk];
  }
  const HistorySample& Last() const { return At(count_ - 1); }
  // The satellite code (nmea::GnssCode) of table slot `slot`.
  int SlotCode(int slot) const { return slotCodes_[slot]; }
  int Slots() const { return slots_; }

  // The last sample whole at byte `offset` of a played file; -1 for none.
  int LastAtOffset(std::uint64_t offset) const {
    int low = 0, high = count_;  // the first sample past `offset` lies in [low, high]
    while (low < high) {
      const int mid = (low + high) / 2;
      if (At(mid).offset <= offset) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    return low - 1;
  }

  // The slot of satellite `code`, taken when new; kNoSlot when the table is full.
  std::uint8_t SlotOf(int code) {
    if (codeSlots_[code] != kNoSlot) return codeSlots_[code];
    if (slots_ == kNoSlot) return kNoSlot;
    slotCodes_[slots_] = static_cast<std::int16_t>(code);
    codeSlots_[code] = static_cast<std::uint8_t>(slots_);
    return static_cast<std::uint8_t>(slots_++);
  }

  // Room for the next sample, the oldest dropping off when full.
  HistorySample& Append() {
    if (count_ == kHistorySeconds) {
      first_ = (first_ + 1) % kCapacity;
      --count_;
    }
    const int at = (first_ + count_) % kCapacity;
    auto& chunk = chunks_[at / kHistoryChunk];
    if (!chunk) chunk = std::make_unique<Chunk>();
    ++count_;
    return chunk->samples[at % kHistoryChunk];
  }

  void Clear() {
    first_ = count_ = slots_ = 0;
    for (auto& slot : codeSlots_) slot = kNoSlot;
  }

  // The bytes its samples hold now.
  std::size_t Bytes() const {
    std::size_t chunks = 0;
    for (const auto& chunk : chunks_) chunks += chunk ? 1 : 0;
    return chunks * sizeof(Chunk);
  }

  History() { Clear(); }

 private:
  static constexpr int kCapacity = kHistoryChunks * kHistoryChunk;
  struct Chunk {
    HistorySample samples[kHistoryChunk];
  };
  std::unique_ptr<Chunk> chunks_[kHistoryChunks];
  int first_ = 0;
  int count_ = 0;
  int slots_ = 0;
  std::int16_t slotCodes_[256] = {};
  std::uint8_t codeSlots_[nmea::kGnssCodes];
};

// Builds a History from the receiver's sentences.
template <class Ch>
class HistoryBuilder {
 public:
  explicit HistoryBuilder(History& history) : history_(history) {}

  const History& history() const { return history_; }

  // Starts again, empty (a new link, a new file).
  void Clear() {
    history_.Clear();
    view_.Clear();
    cycle_ = Cycle();
    ClearSecond();
    day_ = kNoDay;
    lastSecondOfDay_ = 0;
    gsaSeen_ = false;
  }

  // One line, CR LF kept; `offset` is where a played file stands after it.
  void Line(const Ch* line, int length, std::uint64_t offset = 0) {
    offset_ = offset;
    if (length < 11 || line[0] != Ch('$')) return;
    const int talker = nmea::FindTalker(line + 1);
    if (talker < 0 || !nmea::ChecksumPasses(line, length)) return;
    const Ch* type = line + 3;
    if (!nmea::IndexFields(line, fields_)) return;
    if (nmea::TextStartsWith(type, "GSA,")) {
      nmea::DecodeGnssGsa(fields_, talker, view_);
      nmea::GsaFix gsa;
      if (nmea::DecodeGsaFix(fields_, gsa)) {
        gsaSeen_ = true;
        Worst(cycle_.hdop, gsa.hdop);
        Worst(cycle_.pdop, gsa.pdop);
      }
      return;
    }
    view_.NoteOtherSentence();
    if (nmea::TextStartsWith(type, "GSV,")) {
      nmea::DecodeGnssGsv(fields_, talker, view_);
    } else if (nmea::TextStartsWith(type, "GGA,")) {
      nmea::GgaFix gga;
      if (!nmea::DecodeGga(fields_, gga)) return;
      Timed(gga.time);
      if (BandOf(gga.quality) <= BandOf(cycle_.quality) || cycle_.quality < 0) cycle_.quality = gga.quality;
      if (gga.altitude.present) cycle_.altitude = gga.altitude.value;
      cycle_.ggaUsed = gga.satellites;
      Worst(cycle_.hdop, gga.hdop);
    } else if (nmea::TextStartsWith(type, "RMC,")) {
      nmea::RmcFix rmc;
      if (!nmea::DecodeRmcFix(fields_, rmc)) return;
      Timed(rmc.time);
      if (rmc.date.present) {
        const int value = static_cast<int>(rmc.date.value);
        cycle_.day = DaysFromCivil(value / 10000, value / 100 % 100, value % 100);
      }
    }
  }

  // The file or the link ended: the last cycle and second are kept.
  void Finish() {
    CloseCycle();
    FinishSecond();
  }

 private:
  struct Cycle {
    bool open = false;
    double time = 0;
    std::int64_t day = kNoDay;
    int quality = -1;
    int ggaUsed = -1;
    double hdop = NAN, pdop = NAN, altitude = NAN;
  };

  static void Worst(double& worst, const nmea::Reading& reading) {
    if (reading.present && !(reading.value <= worst)) worst = reading.value;
  }

  // A new time starts a cycle and ends the one before; a cycle of a later
  // second ends that one's second too, as no more of it can come.
  void Timed(const nmea::Reading& time) {
    if (!time.present) return;
    if (cycle_.open && cycle_.time != time.value) {
      const bool laterSecond = std::floor(time.value) != std::floor(cycle_.time);
      CloseCycle();
      if (laterSecond) FinishSecond();
    }
    if (!cycle_.open) {
      cycle_ = Cycle();
      cycle_.open = true;
      cycle_.time = time.value;
    }
  }

  // The cycle's time, dated; its values go into its second's sample.
  void CloseCycle() {
    if (!cycle_.open) return;
    cycle_.open = false;
    const double secondOfDay = std::floor(cycle_.time);
    if (cycle_.day != kNoDay) {
      day_ = cycle_.day;
    } else if (day_ != kNoDay && secondOfDay < lastSecondOfDay_ - 43200) {
      ++day_;  // midnight passed between two dates
    }
    lastSecondOfDay_ = secondOfDay;
    const bool dated = day_ != kNoDay;
    const std::int64_t second = static_cast<std::int64_t>(secondOfDay) + (dated ? day_ * 86400 : 0);
    if (inSecond_ && (second != second_ || dated != dated_)) FinishSecond();
    if (!inSecond_) {
      inSecond_ = true;
      second_ = second;
      dated_ = dated;
    }
    if (std::isnan(hdop_) || cycle_.hdop > hdop_) hdop_ = cycle_.hdop;
    if (std::isnan(pdop_) || cycle_.pdop > pdop_) pdop_ = cycle_.pdop;
    if (cycle_.quality >= 0 && (quality_ < 0 || BandOf(cycle_.quality) <= BandOf(quality_))) quality_ = cycle_.quality;
    if (!std::isnan(cycle_.altitude)) altitude_ = cycle_.altitude;
    int used = 0;
    for (int i = 0; i < view_.Count(); ++i) {
      const nmea::GnssSatellite& satellite = view_.At(i);
      used += satellite.used ? 1 : 0;
      const int code = nmea::GnssCode(satellite.system, satellite.number);
      if (code < 0 || satellite.snr < 0) continue;
      sum_[code] = static_cast<std::uint16_t>(sum_[code] + satellite.snr);
      ++reports_[code];
      if (satellite.used) usedCodes_[code] = true;
    }
    used_ = gsaSeen_ ? used : cycle_.ggaUsed >= 0 ? cycle_.ggaUsed : 0;
    inView_ = view_.Count();
  }

  void FinishSecond() {
    if (!inSecond_) return;
    inSecond_ = false;
    HistorySample& sample = history_.Append();
    sample.second = second_;
    sample.dated = dated_;
    sample.offset = offset_;
    sample.hdop = static_cast<float>(hdop_);
    sample.pdop = static_cast<float>(pdop_);
    sample.altitude = static_cast<float>(altitude_);
    sample.quality = static_cast<std::int8_t>(quality_);
    sample.used = static_cast<std::uint8_t>(used_ < 255 ? used_ : 255);
    sample.inView = static_cast<std::uint8_t>(inView_ < 255 ? inView_ : 255);
    sample.count = 0;
    for (int code = 0; code < nmea::kGnssCodes; ++code) {
      if (reports_[code] == 0) continue;
      const std::uint8_t slot = history_.SlotOf(code);
      if (slot != kNoSlot && sample.count < kHistorySatellites) {
        const int cn0 = (sum_[code] + reports_[code] / 2) / reports_[code];
        sample.satellites[sample.count++] = {slot, static_cast<std::uint8_t>((cn0 > 99 ? 99 : cn0) |
                                                                             (usedCodes_[code] ? 0x80 : 0))};
      }
    }
    ClearSecond();
  }

  void ClearSecond() {
    inSecond_ = false;
    hdop_ = pdop_ = altitude_ = NAN;
    quality_ = -1;
    used_ = inView_ = 0;
    for (int code = 0; code < nmea::kGnssCodes; ++code) {
      sum_[code] = 0;
      reports_[code] = 0;
      usedCodes_[code] = false;
    }
  }

  History& history_;
  nmea::SentenceFields<Ch> fields_;
  nmea::GnssView view_;
  Cycle cycle_;
  std::uint64_t offset_ = 0;
  std::int64_t day_ = kNoDay;
  double lastSecondOfDay_ = 0;
  bool gsaSeen_ = false;
  // The second being gathered.
  bool inSecond_ = false;
  bool dated_ = false;
  std::int64_t second_ = 0;
  double hdop_ = NAN, pdop_ = NAN, altitude_ = NAN;
  int quality_ = -1;
  int used_ = 0, inView_ = 0;
  std::uint16_t sum_[nmea::kGnssCodes] = {};
  std::uint8_t reports_[nmea::kGnssCodes] = {};
  bool usedCodes_[nmea::kGnssCodes] = {};
};

}  // namespace trelvane::monitor
