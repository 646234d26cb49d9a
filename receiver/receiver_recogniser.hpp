// Tells the receiver's family from what it sends of its own accord or in
// answer to Identify, without writing anything: the start-up and answer
// sentences each family has, and any UBX frame. Names the receiver as the
// family, then model and firmware once the receiver has said them, for
// example "u-blox 9/10 NEO-M9N, FW SPG 4.04". Only sentences that pass their
// checksum count. Reopening the link starts a new recogniser (Forget).
#pragma once

#include <cstring>

#include "nmea/decode_gnss.hpp"
#include "nmea/read_number.hpp"
#include "nmea/sentence_intake.hpp"
#include "nmea/text.hpp"
#include "receiver/receiver_family.hpp"

namespace trelvane::receiver {

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
  void NoAnswer() { nmea::CopyText(name_, kReceiverNameChars, "No answer: SiRF or unknown"); }

  // Takes one received line (CR LF included). Returns true when the name
  // changed. The address is looked up first: most lines are no family's
  // signal, and they cost no more than that.
  template <class Ch>
  bool OnLine(const Ch* line, int length) {
    if (length < 8 || length >= kCopyChars || line[0] != Ch('$')) return false;
    const Signal* signal = FindSignal(line + 1);
    if (signal == nullptr || !nmea::ChecksumPasses(line, length)) return false;
    char text[kCopyChars];
    for (int n = 0; n < length; ++n) text[n] = static_cast<char>(static_cast<unsigned>(line[n]) & 0xFFu);
    text[length - 5] = 0;  // the "*hh" CR LF goes; the last field ends at the zero
    nmea::SentenceFields<char> fields;
    if (!nmea::IndexFields(text + 1, fields)) return false;
    if (signal->family != Family::kUnknown) Switch(signal->family);
    if (signal->read != nullptr && !(this->*signal->read)(fields)) return false;
    return Compose();
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
  using Fields = nmea::SentenceFields<char>;

  // A sentence that tells a family: its address's first letter (P for the
  // makers' own sentences, G for a GNSS talker's), the rest of the address
  // from `at` on, the family it tells (kUnknown: `read` decides), and what
  // else it says. `read` answers false when the sentence turned out to be no
  // signal after all.
  struct Signal {
    char first;
    int at;
    const char* address;
    Family family;
    bool (ReceiverRecogniser::*read)(const Fields& fields);
  };

  // A line of eight units or more has its address and "*hh" CR LF, so the
  // units compared here are always there.
  template <class Ch>
  static const Signal* FindSignal(const Ch* address) {
    static constexpr Signal kSignals[] = {
        {'P', 1, "MTK010", Family::kMediaTek, nullptr},
        {'P', 1, "MTK011", Family::kMediaTek, nullptr},
        {'P', 1, "MTK001", Family::kMediaTek, nullptr},
        {'P', 1, "MTK705,", Family::kMediaTek, &ReceiverRecogniser::ReadMediaTekVersion},
        {'P', 1, "SRF150,1", Family::kSirf, nullptr},
        {'P', 1, "CAS", Family::kCasic, nullptr},
        {'P', 1, "AIR001,", Family::kAiroha, nullptr},
        {'P', 1, "AIR020,", Family::kAiroha, &ReceiverRecogniser::ReadAirohaVersion},
        {'P', 1, "QTMVER", Family::kAiroha, &ReceiverRecogniser::ReadQuectelVersion},
        {'G', 2, "TXT,", Family::kUnknown, &ReceiverRecogniser::ReadText},  // $GPTXT, $GNTXT, ...
    };
    for (const Signal& signal : kSignals) {
      if (address[0] == Ch(signal.first) && nmea::TextStartsWith(address + signal.at, signal.address)) return &signal;
    }
    return nullptr;
  }

  // A fixed-width text: what fits, without the spaces that pad it.
  static void CopyTrimmed(char* out, int capacity, const char* text) {
    nmea::CopyText(out, capacity, text);
    for (int n = nmea::TextLength(out, capacity); n > 0 && out[n - 1] == ' '; --n) out[n - 1] = 0;
  }

  static void CopyField(char* out, const Fields& fields, int index) {
    char slot[nmea::kSlotChars];
    nmea::CopyIndexedField(fields, index, slot);
    CopyTrimmed(out, kPartChars, slot);
  }

  // $PMTK705,<release>,<build>,<model>,...
  bool ReadMediaTekVersion(const Fields& fields) {
    CopyField(firmware_, fields, 1);
    CopyField(model_, fields, 3);
    return true;
  }

  // $PAIR020,<firmware>
  bool ReadAirohaVersion(const Fields& fields) {
    CopyField(firmware_, fields, 1);
    return true;
  }

  // $PQTMVER,1,MODULE,<model>,<date>,<time>
  bool ReadQuectelVersion(const Fields& fields) {
    if (nmea::TextStartsWith(nmea::FieldStart(fields, 1), "1,MODULE,")) CopyField(model_, fields, 3);
    return true;
  }

  // A $G?TXT line's text; false when it is no family's signal.
  bool ReadText(const Fields& fields) {
    const char* text = nmea::FieldStart(fields, 4);
    if (nmea::TextStartsWith(text, "MA=CASIC") || nmea::TextStartsWith(text, "ANTENNA OK") ||
        nmea::TextStartsWith(text, "ANTENNA OPEN") || nmea::TextStartsWith(text, "ANTENNA SHORT")) {
      Switch(Family::kCasic);
    } else if (family_ == Family::kCasic && (nmea::TextStartsWith(text, "MO=") || nmea::TextStartsWith(text, "SW="))) {
      CopyTrimmed(text[0] == 'M' ? model_ : firmware_, kPartChars, text + 3);
      Switch(Family::kCasic);
    } else if (nmea::ContainsAscii(text, "u-blox AG") || nmea::TextStartsWith(text, "HW UBX") ||
               nmea::TextStartsWith(text, "PROTVER=") ||
               (IsUblox(family_) && (nmea::TextStartsWith(text, "MOD=") || nmea::TextStartsWith(text, "FWVER=")))) {
      Switch(Family::kUblox8);
      TakeUbloxText(text);
    } else {
      return false;
    }
    return true;
  }

  // A u-blox text, in a $G?TXT start-up line or a MON-VER extension.
  void TakeUbloxText(const char* text) {
    if (nmea::TextStartsWith(text, "PROTVER=")) {
      generation9_ = nmea::ReadNumber(text + 8, 0) >= 27;
    } else if (nmea::TextStartsWith(text, "MOD=")) {
      CopyTrimmed(model_, kPartChars, text + 4);
    } else if (nmea::TextStartsWith(text, "FWVER=")) {
      CopyTrimmed(firmware_, kPartChars, text + 6);
    }
  }

  // MON-VER payload: software version (30), hardware version (10), then
  // 30-character extensions, each zero-padded.
  void TakeMonVer(const unsigned char* payload, int length) {
    char field[31];
    if (length >= 40) {
      FixedText(field, payload + 30, 10);
      // Hardware 000A0000 and up is generation 10; 00190000 is generation 9.
      if (nmea::ReadHexNumber(field) >= 0x000A0000ul) generation9_ = true;
    }
    for (int at = 40; at + 30 <= length; at += 30) {
      FixedText(field, payload + at, 30);
      TakeUbloxText(field);
    }
    if (firmware_[0] == 0 && length >= 30) {
      FixedText(field, payload, 30);
      CopyTrimmed(firmware_, kPartChars, field);
    }
  }

  // A zero-padded field of `width` bytes as a text (`out` holds width + 1).
  static void FixedText(char* out, const unsigned char* field, int width) {
    std::memcpy(out, field, static_cast<std::size_t>(width));
    out[width] = 0;
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
    if (nmea::TextEquals(name, name_)) return false;
    CopyTrimmed(name_, kReceiverNameChars, name);
    return true;
  }

  static bool IsUblox(Family f) { return f == Family::kUblox8 || f == Family::kUblox9; }

  Family family_;
  bool generation9_;
  unsigned long signals_;
  char model_[kPartChars];
  char firmware_[kPartChars];
  char name_[kReceiverNameChars];
};

}  // namespace trelvane::receiver
