// The all-systems satellite view: every satellite a multi-system receiver
// reports, of every system, beside the twelve-entry SatelliteTable that the
// $GP decoders fill. A satellite is named by its system and its number within
// that system (GLONASS slot 7 is R07, not NMEA's 71).
//
// The view is rebuilt from the signals it holds: each GSV group (one talker,
// one signal) replaces the signals that the same talker's previous group of
// that signal gave, and the GSA sentences of one fix cycle mark satellites in
// use. Signals of one satellite merge: in use if any signal is, strongest SNR.
//
// Fixed arrays only; nothing here allocates. Past the capacities: a GSV group
// keeps its first kGnssGroupCapacity satellites, the view keeps its first
// kGnssSignalCapacity signals, and a satellite that would be the
// (kGnssCapacity + 1)-th to arrive is left out; GSA sentences past the
// kGnssGsaPerCycle-th of one cycle mark nothing. dropped() counts the
// satellites left out of the view as it stands and the signals that found no
// room since the view was last emptied.
#pragma once

#include <cstdint>

#include "nmea/text.hpp"

namespace trelvane::nmea {

// The order of the systems is the order of the view: G R E C J I S.
enum class GnssSystem : std::uint8_t { kGps, kGlonass, kGalileo, kBeidou, kQzss, kNavic, kSbas };
constexpr int kGnssSystems = 7;

inline char SystemLetter(GnssSystem system) {
  static const char kLetters[kGnssSystems + 1] = "GRECJIS";
  const int index = static_cast<int>(system);
  return index < kGnssSystems ? kLetters[index] : '?';
}

constexpr int kGnssCapacity = 96;          // satellites in the view
constexpr int kGnssSignalCapacity = 192;   // signals held (two per satellite, on average)
constexpr int kGnssGroupCapacity = 36;     // a GSV group: at most nine messages of four
constexpr int kGnssGsaPerCycle = 8;        // GSA sentences of one fix cycle that count
constexpr int kGnssGsaNumbers = 12;        // satellites one GSA lists
constexpr std::int16_t kGnssNone = -1;     // elevation, azimuth or SNR the receiver left empty

// A satellite's place in the view's tables: system * 64 + its number (SBAS
// numbers 120-163 less 100). -1 when the number does not fit.
constexpr int kGnssCodes = kGnssSystems * 64;

inline int GnssCode(GnssSystem system, int number) {
  const int slot = system == GnssSystem::kSbas ? number - 100 : number;
  if (slot < 1 || slot > 63) return -1;
  return static_cast<int>(system) * 64 + slot;
}

inline GnssSystem CodeSystem(int code) { return static_cast<GnssSystem>(code >> 6); }
inline int CodeNumber(int code) { return (code & 63) + (CodeSystem(code) == GnssSystem::kSbas ? 100 : 0); }

struct GnssSatellite {
  GnssSystem system = GnssSystem::kGps;
  std::int16_t number = 0;
  std::int16_t elevation = kGnssNone;  // degrees, -90 to 90
  std::int16_t azimuth = kGnssNone;    // degrees, 0 to 359
  std::int16_t snr = kGnssNone;        // dB-Hz, 0 to 99: the strongest of its signals
  bool used = false;                   // listed by a GSA of the latest fix cycle
  std::int16_t arrival = 0;            // lower arrived first (the page's order for a small sky)
};

inline bool SameSatellite(const GnssSatellite& a, const GnssSatellite& b) {
  return a.system == b.system && a.number == b.number && a.elevation == b.elevation && a.azimuth == b.azimuth &&
         a.snr == b.snr && a.used == b.used && a.arrival == b.arrival;
}

// "07" for GPS, as the $GP table has always shown it; a letter and at least
// two digits for the others: "R07", "E11", "C27", "S123". Six units hold any.
template <class Ch, int N>
void SatelliteLabel(const GnssSatellite& satellite, Ch (&label)[N]) {
  TextBuilder<Ch> text(label, N);
  if (satellite.system != GnssSystem::kGps) text.AppendUnit(Ch(SystemLetter(satellite.system)));
  text.AppendInt(satellite.number, 2);
}

// One signal of one satellite as a GSV message gave it.
struct GnssSignal {
  std::uint16_t code;
  std::uint16_t source;  // talker and signal id of the group that gave it
  std::int16_t elevation;
  std::int16_t azimuth;
  std::int16_t snr;
};

inline bool SameSignal(const GnssSignal& a, const GnssSignal& b) {
  return a.code == b.code && a.source == b.source && a.elevation == b.elevation && a.azimuth == b.azimuth &&
         a.snr == b.snr;
}

class GnssView {
 public:
  int Count() const { return count_; }
  const GnssSatellite& At(int i) const { return satellites_[i]; }
  int dropped() const { return droppedSatellites_ + droppedSignals_; }
  bool InView(int code) const { return code >= 0 && ((present_[code >> 6] >> (code & 63)) & 1u) != 0; }

  // The page's bar order: with more than twelve in view, satellites in use
  // first, then the others, each part by strongest signal (equal signals in
  // view order); with twelve or fewer, the order in which they arrived.
  int BarOrder(int (&indexes)[kGnssCapacity]) const {
    for (int i = 0; i < count_; ++i) indexes[i] = i;
    const bool byArrival = count_ <= 12;
    for (int i = 1; i < count_; ++i) {
      const int moving = indexes[i];
      int j = i;
      for (; j > 0 && BarBefore(satellites_[moving], satellites_[indexes[j - 1]], byArrival); --j) {
        indexes[j] = indexes[j - 1];
      }
      indexes[j] = moving;
    }
    return count_;
  }

  void Clear() { *this = GnssView(); }

  // --- GSV groups. Message 1 opens a group; the others must follow in order
  // with the same talker and count, or the unfinished group is abandoned.
  // Returns false when the message belongs to no open group.
  // A group's source is its talker, the system id it names (0: none) and its
  // signal id.
  bool GroupMessage(int talker, int systemId, int signal, int total, int message) {
    if (message == 1) {
      group_.open = true;
      group_.talker = talker;
      group_.source = static_cast<std::uint16_t>((talker * 8 + (systemId & 7)) * 16 + (signal & 15));
      group_.total = total;
      group_.count = 0;
    } else if (!group_.open || group_.talker != talker || group_.total != total || group_.next != message) {
      group_.open = false;
      return false;
    }
    group_.next = message + 1;
    return true;
  }

  void AddToGroup(int code, int elevation, int azimuth, int snr) {
    if (group_.count == kGnssGroupCapacity) {
      ++droppedSignals_;
      return;
    }
    group_.signals[group_.count++] = GnssSignal{static_cast<std::uint16_t>(code), group_.source,
                                                static_cast<std::int16_t>(elevation),
                                                static_cast<std::int16_t>(azimuth), static_cast<std::int16_t>(snr)};
  }

  // Puts the finished group in place of the signals its source gave before,
  // where they stood; returns true when the view changed.
  bool CommitGroup() {
    group_.open = false;
    const bool same = ReplaceSource();
    return same ? false : Rebuild();
  }

  // --- GSA. A run of GSA sentences is one fix cycle; the k-th GSA of a run
  // replaces the marks of the k-th of the previous run. A run ends at any
  // other sentence, or at a GSA whose system id the run has already had.
  void BeginGsa(int systemId) {
    const unsigned bit = systemId > 0 && systemId < 16 ? 1u << systemId : 0u;
    // A run that other sentences ended has had its unreached slots emptied.
    gsaChanged_ = inGsaRun_ && (gsaSystems_ & bit) != 0 && EndGsaRun();
    inGsaRun_ = true;
    gsaSystems_ |= bit;
    gsaSlot_ = gsaInRun_ < kGnssGsaPerCycle ? gsaInRun_ : -1;
    ++gsaInRun_;
    listedCount_ = 0;
  }

  void UseInGsa(int code) {
    if (listedCount_ < kGnssGsaNumbers) listed_[listedCount_++] = static_cast<std::uint16_t>(code);
  }

  bool EndGsa() {
    if (gsaSlot_ < 0) return gsaChanged_ ? Rebuild() : false;
    auto& slot = used_[gsaSlot_];
    bool same = slot.count == listedCount_;
    for (int i = 0; same && i < listedCount_; ++i) same = slot.codes[i] == listed_[i];
    if (same && !gsaChanged_) return false;
    slot.count = listedCount_;
    for (int i = 0; i < listedCount_; ++i) slot.codes[i] = listed_[i];
    return Rebuild();
  }

  // Any accepted sentence other than a GSA ends the GSA run; returns true
  // when that took marks away.
  bool NoteOtherSentence() { return inGsaRun_ && EndGsaRun() ? Rebuild() : false; }

 private:
  struct Group {
    bool open = false;
    int talker = -1;
    std::uint16_t source = 0;
    int total = 0;
    int next = 0;
    int count = 0;
    GnssSignal signals[kGnssGroupCapacity];
  };
  struct UsedSlot {
    int count = 0;
    std::uint16_t codes[kGnssGsaNumbers];
  };
  struct Cell {
    std::int16_t elevation, azimuth, snr, arrival;
  };

  static bool BarBefore(const GnssSatellite& a, const GnssSatellite& b, bool byArrival) {
    if (byArrival) return a.arrival < b.arrival;
    if (a.used != b.used) return a.used;
    return a.snr > b.snr;
  }

  // Empties the slots the run did not reach and starts a new run; true when
  // a slot that had marks was emptied.
  bool EndGsaRun() {
    bool emptied = false;
    for (int s = gsaInRun_; s < kGnssGsaPerCycle; ++s) {
      emptied = emptied || used_[s].count != 0;
      used_[s].count = 0;
    }
    inGsaRun_ = false;
    gsaInRun_ = 0;
    gsaSystems_ = 0;
    return emptied;
  }

  // Builds the next signal list in the other buffer; returns true when the
  // group equals what its source held before.
  bool ReplaceSource() {
    const std::uint16_t source = group_.source;
    const GnssSignal* from = signals_[current_];
    GnssSignal* to = signals_[1 - current_];
    int matched = 0;
    bool same = true;
    bool placed = false;
    int kept = 0;
    for (int i = 0; i < signalCount_; ++i) {
      if (from[i].source != source) {
        to[kept++] = from[i];
        continue;
      }
      same = same && matched < group_.count && SameSignal(from[i], group_.signals[matched]);
      ++matched;
      if (!placed) PlaceGroup(to, kept);
      placed = true;
    }
    if (!placed) PlaceGroup(to, kept);
    same = same && matched == group_.count;
    signalCount_ = kept;
    current_ = 1 - current_;
    return same;
  }

  // Appends the group's signals to `to`, as far as room allows.
  void PlaceGroup(GnssSignal* to, int& kept) {
    for (int g = 0; g < group_.count; ++g) {
      if (kept == kGnssSignalCapacity) {
        droppedSignals_ += group_.count - g;
        return;
      }
      to[kept++] = group_.signals[g];
    }
  }

  void MergeSignal(const GnssSignal& signal) {
    const int code = signal.code;
    Cell& cell = cells_[code];
    const std::uint64_t bit = std::uint64_t{1} << (code & 63);
    if ((present_[code >> 6] & bit) == 0) {
      if (distinct_ == kGnssCapacity) {
        if ((left_[code >> 6] & bit) == 0) ++droppedSatellites_;
        left_[code >> 6] |= bit;
        return;
      }
      present_[code >> 6] |= bit;
      cell = Cell{signal.elevation, signal.azimuth, signal.snr, static_cast<std::int16_t>(distinct_++)};
      return;
    }
    if (signal.snr > cell.snr) cell.snr = signal.snr;
    if (cell.elevation == kGnssNone) cell.elevation = signal.elevation;
    if (cell.azimuth == kGnssNone) cell.azimuth = signal.azimuth;
  }

  // Merges the signals into satellites in view order; true when the view
  // differs from what it was.
  bool Rebuild() {
    for (int s = 0; s < kGnssSystems; ++s) present_[s] = left_[s] = usedMask_[s] = 0;
    distinct_ = 0;
    droppedSatellites_ = 0;
    for (int i = 0; i < signalCount_; ++i) MergeSignal(signals_[current_][i]);
    for (const auto& slot : used_) {
      for (int i = 0; i < slot.count; ++i) usedMask_[slot.codes[i] >> 6] |= std::uint64_t{1} << (slot.codes[i] & 63);
    }
    bool changed = false;
    int n = 0;
    for (int s = 0; s < kGnssSystems; ++s) {
      for (std::uint64_t bits = present_[s]; bits != 0; bits &= bits - 1) {
        const int code = s * 64 + LowestBit(bits);
        const Cell& cell = cells_[code];
        GnssSatellite next;
        next.system = static_cast<GnssSystem>(s);
        next.number = static_cast<std::int16_t>(CodeNumber(code));
        next.elevation = cell.elevation;
        next.azimuth = cell.azimuth;
        next.snr = cell.snr;
        next.used = ((usedMask_[s] >> (code & 63)) & 1u) != 0;
        next.arrival = cell.arrival;
        changed = changed || n >= count_ || !SameSatellite(next, satellites_[n]);
        satellites_[n++] = next;
      }
    }
    changed = changed || n != count_;
    count_ = n;
    return changed;
  }

  // The index of the lowest set bit (a de Bruijn sequence, no loop).
  static int LowestBit(std::uint64_t bits) {
    static const int kIndex[64] = {0,  1,  48, 2,  57, 49, 28, 3,  61, 58, 50, 42, 38, 29, 17, 4,
                                   62, 55, 59, 36, 53, 51, 43, 22, 45, 39, 33, 30, 24, 18, 12, 5,
                                   63, 47, 56, 27, 60, 41, 37, 16, 54, 35, 52, 21, 44, 32, 23, 11,
                                   46, 26, 40, 15, 34, 20, 31, 10, 25, 14, 19, 9,  13, 8,  7,  6};
    return kIndex[((bits & (0 - bits)) * 0x03f79d71b4cb0a89ULL) >> 58];
  }

  GnssSatellite satellites_[kGnssCapacity];
  int count_ = 0;
  int droppedSatellites_ = 0;
  int droppedSignals_ = 0;
  int distinct_ = 0;
  GnssSignal signals_[2][kGnssSignalCapacity];  // the list in use, and room for the next
  int current_ = 0;
  int signalCount_ = 0;
  Group group_;
  UsedSlot used_[kGnssGsaPerCycle];
  std::uint16_t listed_[kGnssGsaNumbers];
  int listedCount_ = 0;
  int gsaSlot_ = -1;
  int gsaInRun_ = 0;
  unsigned gsaSystems_ = 0;
  bool inGsaRun_ = false;
  bool gsaChanged_ = false;
  std::uint64_t present_[kGnssSystems] = {};
  std::uint64_t left_[kGnssSystems] = {};
  std::uint64_t usedMask_[kGnssSystems] = {};
  Cell cells_[kGnssCodes];
};

}  // namespace trelvane::nmea
