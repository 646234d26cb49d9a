// Tells the receiver's family from what it sends of its own accord or in
// answer to Identify, without writing anything: the start-up and answer
// sentences each family has, and any UBX frame. Names the receiver as the
// family, then model and firmware once the receiver has said them, for
// example "u-blox 9/10 NEO-M9N, FW SPG 4.04". Only sentences that pass their
// checksum count. Reopening the link starts a new recogniser (Forget).
#pragma once

#include "link/receiver_family.hpp"
#include "nmea/sentence_intake.hpp"

namespace trelvane::link {

constexpr int kReceiverNameChars = 96;

class ReceiverRecogniser {
 public:
  ReceiverRecogniser() { Forget(); }

  void Forget() {
    family_ = Family::kUnknown;
    generation9_ = false;
    signals_ = 0;
    model_[0] = firmware_[0] = name_[0] = 0;
  }

  Family Recognised() const { return family_; }
  // Empty until something is recognised.
  const char* Name() const { return name_; }
  // Counts the signals seen: Identify compares it before and after listening.
  unsigned long Signals() const { return signals_; }

  // Identify heard nothing: the name says so; the family stays as it is.
  void NoAnswer() { CopyText(name_, kReceiverNameChars, "No answer: SiRF or unknown"); }

  // Takes one received line (CR LF included). Returns true when the name changed.
  template <class Ch>
  bool OnLine(const Ch* line, int length) {
    if (length < 8 || length >= kCopyChars || line[0] != Ch('$')) return false;
    if (!nmea::ChecksumPasses(line, length)) return false;
    char text[kCopyChars];
    for (int n = 0; n < length; ++n) text[n] = static_cast<char>(static_cast<unsigned>(line[n]) & 0xFFu);
    text[length - 5] = 0;  // the "*hh" CR LF goes; fields end at the zero
    return TakeSentence(text + 1);
  }

  // Takes one binary frame as the stream lexer found it. Returns true when
  // the name changed. A CASIC part also answers UBX polls, so once CASIC is
  // recognised a UBX frame does not change the family.
  bool OnFrame(const unsigned char* frame, int length) {
    if (length < 8 || frame[0] != 0xB5 || frame[1] != 0x62 || family_ == Family::kCasic) return false;
    Switch(Family::kUblox8);
    if (frame[2] == 0x0A && frame[3] == 0x04) TakeMonVer(frame + 6, length - 8);
    return Compose();
  }

 private:
  static constexpr int kCopyChars = 160;
  static constexpr int kPartChars = 32;

  static void CopyText(char* out, int capacity, const char* text, int limit = 1 << 30) {
    int n = 0;
    while (n < capacity - 1 && n < limit && text[n] != 0) {
      out[n] = text[n];
      ++n;
    }
    while (n > 0 && out[n - 1] == ' ') --n;  // fixed-width fields are padded
    out[n] = 0;
  }

  static bool StartsWith(const char* text, const char* prefix) {
    for (; *prefix != 0; ++text, ++prefix) {
      if (*text != *prefix) return false;
    }
    return true;
  }

  static bool Contains(const char* text, const char* part) {
    for (; *text != 0; ++text) {
      if (StartsWith(text, part)) return true;
    }
    return false;
  }

  // Field `index` of the sentence (0 = address), up to the next comma.
  static const char* FieldAt(const char* sentence, int index) {
    for (; index > 0; --index) {
      while (*sentence != ',' && *sentence != 0) ++sentence;
      if (*sentence == 0) return sentence;
      ++sentence;
    }
    return sentence;
  }

  static void CopyField(char* out, const char* field) {
    int n = 0;
    while (field[n] != ',' && field[n] != 0) ++n;
    CopyText(out, kPartChars, field, n);
  }

  // A u-blox text, in a $G?TXT start-up line or a MON-VER extension.
  void TakeUbloxText(const char* text) {
    if (StartsWith(text, "PROTVER=")) {
      int major = 0;
      for (const char* d = text + 8; *d >= '0' && *d <= '9' && major < 1000; ++d) major = major * 10 + (*d - '0');
      generation9_ = major >= 27;
    } else if (StartsWith(text, "MOD=")) {
      CopyText(model_, kPartChars, text + 4);
    } else if (StartsWith(text, "FWVER=")) {
      CopyText(firmware_, kPartChars, text + 6);
    }
  }

  // MON-VER payload: software version (30), hardware version (10), then
  // 30-character extensions, each zero-padded.
  void TakeMonVer(const unsigned char* payload, int length) {
    char field[31];
    if (length >= 40) {
      CopyText(field, 11, reinterpret_cast<const char*>(payload + 30), 10);
      // Hardware 000A0000 and up is generation 10; 00190000 is generation 9.
      unsigned long hw = 0;
      for (int n = 0; n < 8 && field[n] != 0; ++n) {
        const int v = HexDigitValue(field[n]);
        if (v < 0) break;
        hw = hw * 16 + static_cast<unsigned long>(v);
      }
      if (hw >= 0x000A0000ul) generation9_ = true;
    }
    for (int at = 40; at + 30 <= length; at += 30) {
      CopyText(field, 31, reinterpret_cast<const char*>(payload + at), 30);
      TakeUbloxText(field);
    }
    if (firmware_[0] == 0 && length >= 30) CopyText(firmware_, kPartChars, reinterpret_cast<const char*>(payload), 30);
  }

  // `s` is the sentence without "$" and checksum.
  bool TakeSentence(const char* s) {
    if (StartsWith(s, "PMTK010") || StartsWith(s, "PMTK011") || StartsWith(s, "PMTK001")) {
      Switch(Family::kMediaTek);
    } else if (StartsWith(s, "PMTK705,")) {
      Switch(Family::kMediaTek);
      CopyField(firmware_, FieldAt(s, 1));
      CopyField(model_, FieldAt(s, 3));
    } else if (StartsWith(s, "PSRF150,1")) {
      Switch(Family::kSirf);
    } else if (StartsWith(s, "PCAS")) {
      Switch(Family::kCasic);
    } else if (StartsWith(s, "PAIR001,")) {
      Switch(Family::kAiroha);
    } else if (StartsWith(s, "PAIR020,")) {
      Switch(Family::kAiroha);
      CopyField(firmware_, FieldAt(s, 1));
    } else if (StartsWith(s, "PQTMVER")) {
      Switch(Family::kAiroha);
      if (StartsWith(FieldAt(s, 1), "1,MODULE,")) CopyField(model_, FieldAt(s, 3));
    } else if (s[0] == 'G' && StartsWith(s + 2, "TXT,")) {
      if (!TakeText(FieldAt(s, 4))) return false;
    } else {
      return false;
    }
    return Compose();
  }

  // A $G?TXT line's text; false when it is no family's signal.
  bool TakeText(const char* text) {
    if (StartsWith(text, "MA=CASIC") || StartsWith(text, "ANTENNA OK") || StartsWith(text, "ANTENNA OPEN") ||
        StartsWith(text, "ANTENNA SHORT")) {
      Switch(Family::kCasic);
    } else if (family_ == Family::kCasic && (StartsWith(text, "MO=") || StartsWith(text, "SW="))) {
      CopyText(text[0] == 'M' ? model_ : firmware_, kPartChars, text + 3);
      Switch(Family::kCasic);
    } else if (Contains(text, "u-blox AG") || StartsWith(text, "HW UBX") || StartsWith(text, "PROTVER=") ||
               (IsUblox(family_) && (StartsWith(text, "MOD=") || StartsWith(text, "FWVER=")))) {
      Switch(Family::kUblox8);
      TakeUbloxText(text);
    } else {
      return false;
    }
    return true;
  }

  // Records a signal of `family` (kUblox8 stands for either u-blox). A
  // different family forgets the model and firmware of the one before.
  void Switch(Family family) {
    ++signals_;
    if (family == family_ || (IsUblox(family) && IsUblox(family_))) return;
    if (family_ != Family::kUnknown) {
      model_[0] = firmware_[0] = 0;
      generation9_ = false;
    }
    family_ = family;
  }

  // Composes the name again; true when it changed.
  bool Compose() {
    if (IsUblox(family_)) family_ = generation9_ ? Family::kUblox9 : Family::kUblox8;
    char name[kReceiverNameChars] = {};
    int fill = 0;
    AppendAscii(name, &fill, kFamilyItems[static_cast<int>(family_)]);
    if (model_[0] != 0) {
      AppendAscii(name, &fill, " ");
      AppendAscii(name, &fill, model_);
    }
    if (firmware_[0] != 0) {
      AppendAscii(name, &fill, ", FW ");
      AppendAscii(name, &fill, firmware_);
    }
    bool changed = false;
    for (int n = 0; n < kReceiverNameChars; ++n) {
      if (name[n] != name_[n]) changed = true;
      if (name[n] == 0 && name_[n] == 0) break;
    }
    CopyText(name_, kReceiverNameChars, name);
    return changed;
  }

  static bool IsUblox(Family f) { return f == Family::kUblox8 || f == Family::kUblox9; }

  Family family_;
  bool generation9_;
  unsigned long signals_;
  char model_[kPartChars];
  char firmware_[kPartChars];
  char name_[kReceiverNameChars];
};

}  // namespace trelvane::link
