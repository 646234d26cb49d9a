// Sentence intake: every line the reader delivers enters here. A line is
// accepted only when its NMEA checksum is right; accepted lines are logged and
// $GPRMC, $GPGSA and $GPGSV are decoded into the readout and satellite table.
// RMC, GSA and GSV of the other GNSS talkers ($GN, $GL, $GA, $GB, ...) fill the
// same readout; GSA and GSV of every talker, $GP included, feed the
// all-systems view. The twelve-entry table stays the $GP sentences' own, and
// $GP sentences ask for repaints as they always have; the other talkers' ask
// for one when the view changed (and the desktop's RMC and GSA, as $GP's do).
// Every RMC decoded, and a GGA or GST of any talker at the line's start, is
// also read into numbers (lastFix(), gga(), gst(), rmcFix()), and so is every
// GSA the all-systems view reads (gsaRead(), gsa()); that changes nothing
// else.
#pragma once

#include <cstddef>
#include <cstring>

#include "nmea/build_policy.hpp"
#include "nmea/decode_fix.hpp"
#include "nmea/decode_gnss.hpp"
#include "nmea/decode_gsa.hpp"
#include "nmea/decode_gsv.hpp"
#include "nmea/decode_rmc.hpp"
#include "nmea/field_table.hpp"
#include "nmea/gnss_numbering.hpp"
#include "nmea/gnss_view.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

constexpr int kWorkingCopyChars = 256;  // 255 characters and the terminator
constexpr int kLogPaneLineLimit = 100;

// A line of length n passes when the character at n - 5 is "*" and the two
// hexadecimal digits after it equal the XOR of the characters from position 1
// up to the "*". The first character (normally "$") is never looked at, so a
// well-formed line must end in "*hh", CR, LF. On UTF-16 text the low byte of
// each unit counts.
template <class Ch>
bool ChecksumPasses(const Ch* line, int length) {
  if (length < 5 || line[length - 5] != Ch('*')) return false;
  unsigned sum = 0;
  for (int i = 1; i < length - 5; ++i) sum ^= static_cast<unsigned>(line[i]) & 0xFFu;
  const int high = HexDigitValue(line[length - 4]);
  const int low = HexDigitValue(line[length - 3]);
  if (high < 0 || low < 0) return false;
  return static_cast<unsigned>(high * 16 + low) == sum;
}

// Which decoder, if any, the last accepted sentence went to.
enum class Decoded { kNone, kRmc, kGsa, kGsv };

template <class Build>
class SentenceIntake {
 public:
  using Ch = typename Build::Char;
  using Readout = typename Build::Readout;

  SentenceIntake(LogPane<Ch>& log, Readout& readout, SatelliteTable<Ch>& satellites, RepaintCallback requestRepaint)
      : log_(log), readout_(readout), satellites_(satellites), requestRepaint_(requestRepaint) {}
  SentenceIntake(const SentenceIntake&) = delete;
  SentenceIntake& operator=(const SentenceIntake&) = delete;

  // Handles one zero-terminated line as the reader delivered it. Returns 1 when
  // the line passed its checksum and was dispatched, whatever its type; 0 when
  // it was rejected (unlogged), or logged but not decoded because a decode was
  // already under way.
  int HandleSentence(const Ch* line) { return HandleSentence(line, kWorkingCopyChars); }

  // The same for a line whose length the reader knows: it reads no further.
  // The line still ends at its first zero (noise may put one inside).
  int HandleSentence(const Ch* line, int knownLength) {
    lastDecoded_ = Decoded::kNone;
    lastFix_ = FixSentence::kNone;
    gsaRead_ = false;
    gnssChanged_ = false;
    Ch copy[kWorkingCopyChars];
    const int length = knownLength < kWorkingCopyChars ? TextLength(line, knownLength + 1) : TextLength(line, kWorkingCopyChars);
    if (length == kWorkingCopyChars) return 0;  // too long for any sentence
    std::memcpy(copy, line, static_cast<std::size_t>(length) * sizeof(Ch));
    copy[length] = Ch(0);
    if (!ChecksumPasses(copy, length)) return 0;

    static const Ch kEmpty[] = {Ch(0)};
    if (log_.LineCount() > kLogPaneLineLimit) log_.SetText(kEmpty);
    log_.ReplaceSelection(copy);

    if (decoding_ != 0) return 0;
    decoding_ = 1;
    Dispatch(copy);
    DecodeFixAtStart(copy);
    decoding_ = 0;
    return 1;
  }

  // 1 while a sentence is being decoded; guards against re-entry.
  int decoding() const { return decoding_; }
  Decoded lastDecoded() const { return lastDecoded_; }

  // The all-systems view, and whether the last line handled changed it.
  const GnssView& gnss() const { return gnss_; }
  bool gnssChanged() const { return gnssChanged_; }
  // True once an RMC, GSA or GSV of a talker other than $GP has come in.
  bool multiSystem() const { return multiSystem_; }

  // The fix in numbers: which sentence the last line handled gave, if any,
  // and the last of each that was read.
  FixSentence lastFix() const { return lastFix_; }
  const GgaFix& gga() const { return gga_; }
  const GstReport& gst() const { return gst_; }
  const RmcFix& rmcFix() const { return rmcFix_; }
  // Whether the last line handled was a GSA read into numbers, and the last
  // one that was. Apart from lastFix(): a GSA is no fix of its own.
  bool gsaRead() const { return gsaRead_; }
  const GsaFix& gsa() const { return gsa_; }

  // What the intake knows beyond the page, as it stood at a point of a
  // recording, so that a seek can take it up there.
  struct Kept {
    GnssView gnss;
    bool multiSystem = false;
    GgaFix gga;
    GstReport gst;
    RmcFix rmcFix;
    GsaFix gsa;
  };
  void Keep(Kept& kept) const {
    kept.gnss = gnss_;
    kept.multiSystem = multiSystem_;
    kept.gga = gga_;
    kept.gst = gst_;
    kept.rmcFix = rmcFix_;
    kept.gsa = gsa_;
  }
  void TakeUp(const Kept& kept) {
    gnss_ = kept.gnss;
    multiSystem_ = kept.multiSystem;
    gga_ = kept.gga;
    gst_ = kept.gst;
    rmcFix_ = kept.rmcFix;
    gsa_ = kept.gsa;
  }

  // The link was reopened: whatever receiver is there now starts afresh.
  void ResetTalkers() {
    multiSystem_ = false;
    gnssChanged_ = false;
    gnss_.Clear();
  }

 private:
  // The identifier may stand anywhere in the line: the first match in the
  // order RMC, GSA, GSV wins.
  void Dispatch(const Ch* copy) {
    const GpSentences gp = FindGpSentences(copy);
    if (gp.rmc != nullptr) {
      SplitFields(copy, kRmcSlots, fields_);
      DecodeRmc<Build>(fields_, readout_, requestRepaint_);
      lastDecoded_ = Decoded::kRmc;
      // The readout takes any $GPRMC; the numbers only one of an RMC's field counts.
      if (IndexFields(gp.rmc, index_) && DecodeRmcFix(index_, rmcFix_)) lastFix_ = FixSentence::kRmc;
    } else if (gp.gsa != nullptr) {
      SplitFields(copy, kGsaSlots, fields_);
      DecodeGsa<Build>(fields_, satellites_, readout_, requestRepaint_);
      lastDecoded_ = Decoded::kGsa;
      if (IndexFields(gp.gsa, index_)) {
        gnssChanged_ = DecodeGnssGsa(index_, 0, gnss_);
        gsaRead_ = DecodeGsaFix(index_, gsa_);
      }
    } else if (gp.gsv != nullptr) {
      DecodeGsv<Build>(copy, fields_, satellites_, requestRepaint_);
      lastDecoded_ = Decoded::kGsv;
      if (IndexFields(gp.gsv, index_)) gnssChanged_ = DecodeGnssGsv(index_, 0, gnss_);
    } else {
      DispatchOtherTalker(copy);
    }
    if (lastDecoded_ != Decoded::kGsa && gnss_.NoteOtherSentence()) gnssChanged_ = true;
  }

  // Where "$GPRMC", "$GPGSA" and "$GPGSV" first stand in the line, found in
  // one pass (each nullptr when absent).
  struct GpSentences {
    const Ch* rmc = nullptr;
    const Ch* gsa = nullptr;
    const Ch* gsv = nullptr;
  };
  static GpSentences FindGpSentences(const Ch* copy) {
    GpSentences found;
    for (const Ch* p = FindUnit(copy, Ch('$')); p != nullptr; p = FindUnit(p + 1, Ch('$'))) {
      if (p[1] != Ch('G') || p[2] != Ch('P')) continue;
      if (found.rmc == nullptr && TextStartsWith(p + 3, "RMC")) found.rmc = p;
      if (found.gsa == nullptr && TextStartsWith(p + 3, "GSA")) found.gsa = p;
      if (found.gsv == nullptr && TextStartsWith(p + 3, "GSV")) found.gsv = p;
    }
    return found;
  }

  // $GNRMC, $GLGSV, $PQGSV and the like: a known talker at the line's start,
  // read only when its field count is one its sentence can have.
  void DispatchOtherTalker(const Ch* copy) {
    if (copy[0] != Ch('$')) return;
    const int talker = FindTalker(copy + 1);
    if (talker <= 0) return;  // $GP went through the dispatch above
    // Only these three are read here; the others' fields are not indexed.
    const bool rmc = TextStartsWith(copy + 3, "RMC,");
    const bool gsa = !rmc && TextStartsWith(copy + 3, "GSA,");
    if (!rmc && !gsa && !TextStartsWith(copy + 3, "GSV,")) return;
    if (!IndexFields(copy, index_)) return;
    if (rmc) {
      multiSystem_ = true;
      if (index_.count < kRmcFewestFields || index_.count > kRmcMostFields) return;
      SplitFields(copy, kRmcSlots, fields_);
      DecodeRmc<Build>(fields_, readout_, requestRepaint_);
      lastDecoded_ = Decoded::kRmc;
      if (DecodeRmcFix(index_, rmcFix_)) lastFix_ = FixSentence::kRmc;
    } else if (gsa) {
      multiSystem_ = true;
      if (index_.count < 18) return;
      // The readout takes the fix type, PDOP and HDOP only.
      CopyIndexedField(index_, 2, fields_[2]);
      CopyIndexedField(index_, 15, fields_[15]);
      CopyIndexedField(index_, 16, fields_[16]);
      DecodeGsaReadout<Build>(fields_, readout_, requestRepaint_);
      lastDecoded_ = Decoded::kGsa;
      gnssChanged_ = DecodeGnssGsa(index_, talker, gnss_);
      gsaRead_ = DecodeGsaFix(index_, gsa_);
      if (gnssChanged_ && !Build::kRepaintAfterRmcAndGsa) requestRepaint_();
    } else {
      multiSystem_ = true;
      lastDecoded_ = Decoded::kGsv;
      gnssChanged_ = DecodeGnssGsv(index_, talker, gnss_);
      if (gnssChanged_) requestRepaint_();
    }
  }

  // $GNGGA, $GPGST and the like: GGA and GST of any known talker, $GP
  // included, where they start the line. Read after the dispatch, whatever it
  // did with the line; they feed nothing but the fix.
  void DecodeFixAtStart(const Ch* copy) {
    if (copy[0] != Ch('$') || FindTalker(copy + 1) < 0) return;
    if (TextStartsWith(copy + 3, "GGA,")) {
      if (IndexFields(copy, index_) && DecodeGga(index_, gga_)) lastFix_ = FixSentence::kGga;
    } else if (TextStartsWith(copy + 3, "GST,")) {
      if (IndexFields(copy, index_) && DecodeGst(index_, gst_)) lastFix_ = FixSentence::kGst;
    }
  }

  LogPane<Ch>& log_;
  Readout& readout_;
  SatelliteTable<Ch>& satellites_;
  RepaintCallback requestRepaint_;  // the information page's RequestRepaint
  int decoding_ = 0;
  Decoded lastDecoded_ = Decoded::kNone;
  FieldTable<Ch> fields_;  // rebuilt for every sentence
  SentenceFields<Ch> index_;
  GnssView gnss_;
  bool gnssChanged_ = false;
  bool multiSystem_ = false;
  FixSentence lastFix_ = FixSentence::kNone;
  GgaFix gga_;
  GstReport gst_;
  RmcFix rmcFix_;
  bool gsaRead_ = false;
  GsaFix gsa_;
};

// Whether a line could give the intake a fix: an RMC where a '$' starts a
// sentence anywhere in it (the dispatch reads $GPRMC wherever it stands), or
// a GGA or GST at its start. A line this says no to changes no fix, so a
// seek that only rebuilds the fixes skips it.
template <class Ch>
bool MayGiveFix(const Ch* line, int length) {
  if (length >= 6 && line[0] == Ch('$') && (TextStartsWith(line + 3, "GGA") || TextStartsWith(line + 3, "GST"))) {
    return true;
  }
  for (int i = 0; i + 6 <= length; ++i) {
    if (line[i] == Ch('$') && TextStartsWith(line + i + 3, "RMC")) return true;
  }
  return false;
}

}  // namespace trelvane::nmea
