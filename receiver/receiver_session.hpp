// What the main window knows of the receiver on the open link: the family
// the user chose ("Auto" or one of six), the one recognised from what the
// receiver sends, the name, and an Identify in progress. It sees every line
// and frame the reader hands over; it logs UBX acknowledgements ("UBX ACK
// CFG-SBAS") and counts the other frames. The main window shows what changed.
#pragma once

#include "receiver/receiver_recogniser.hpp"
#include "stream/stream_lexer.hpp"

namespace trelvane::receiver {

// The UBX message named in an acknowledgement, as the log shows it.
inline const char* UbxMessageName(int cls, int id) {
  struct Row {
    int cls, id;
    const char* name;
  };
  static constexpr Row kNames[] = {{0x06, 0x04, "CFG-RST"},  {0x06, 0x01, "CFG-MSG"},    {0x06, 0x16, "CFG-SBAS"},
                                   {0x06, 0x11, "CFG-RXM"},  {0x06, 0x8A, "CFG-VALSET"}, {0x06, 0x8B, "CFG-VALGET"},
                                   {0x0A, 0x04, "MON-VER"}};
  for (const Row& row : kNames) {
    if (row.cls == cls && row.id == id) return row.name;
  }
  return nullptr;
}

// How long Identify listens for answers.
constexpr unsigned kIdentifyListenMs = 2000;

template <class Ch>
class ReceiverSession {
 public:
  enum Change : unsigned { kNothing = 0, kNameChanged = 1, kFamilyChanged = 2 };

  Family Chosen() const { return chosen_; }
  Family InForce() const { return FamilyInForce(chosen_, recogniser_.Recognised()); }
  const char* Name() const { return recogniser_.Name(); }
  unsigned long FramesCounted() const { return framesCounted_; }

  // The family list's selection changed to `index`.
  unsigned Choose(int index) {
    const Family before = InForce();
    chosen_ = FamilyAt(index);
    return InForce() != before ? kFamilyChanged : kNothing;
  }

  // The link was opened again: what was recognised belongs to the old one.
  unsigned Forget() {
    const Family before = InForce();
    const bool hadName = Name()[0] != 0;
    recogniser_.Forget();
    identifying_ = false;
    return (hadName ? kNameChanged : kNothing) | (InForce() != before ? kFamilyChanged : kNothing);
  }

  // What was recognised as `kept` (a copy made at a point of a recording)
  // had it: a seek takes it up there. The family chosen stays the user's.
  void TakeUp(const ReceiverSession& kept) {
    recogniser_ = kept.recogniser_;
    framesCounted_ = kept.framesCounted_;
    identifying_ = false;
  }

  // One whole line from the reader, `length` units with CR LF.
  unsigned OnLine(const Ch* line, int length) {
    const Family before = InForce();
    const unsigned name = recogniser_.OnLine(line, length) ? kNameChanged : kNothing;
    return name | (InForce() != before ? kFamilyChanged : kNothing);
  }

  // One binary frame from the reader. An acknowledgement is logged; MON-VER
  // and every other UBX frame tell the recogniser; the rest are counted.
  unsigned OnFrame(const unsigned char* frame, int length, nmea::LogPane<Ch>& log) {
    if (length < 0 || length > stream::kMaxFrameBytes) return kNothing;
    const bool ubx = length >= 8 && frame[0] == 0xB5;
    if (ubx && frame[2] == 0x05 && frame[3] <= 0x01 && length == 10) {
      LogAcknowledgement(frame[3] == 0x01, frame[6], frame[7], log);
    } else {
      ++framesCounted_;
    }
    if (!ubx) return kNothing;
    const Family before = InForce();
    const unsigned name = recogniser_.OnFrame(frame, length) ? kNameChanged : kNothing;
    return name | (InForce() != before ? kFamilyChanged : kNothing);
  }

  // Identify: logs "Identify...", writes every family's query, and listens
  // until EndIdentify (the window's timer, kIdentifyListenMs later).
  void StartIdentify(nmea::LogPane<Ch>& log, SentenceWriter<Ch>& link) {
    Ch note[kEchoChars] = {};
    int fill = 0;
    AppendAscii(note, &fill, "Identify...\r\n");
    log.ReplaceSelection(note);
    for (const CommandPart& query : kIdentifyQueries) WritePart(query, link);
    identifying_ = true;
    signalsAtIdentify_ = recogniser_.Signals();
  }

  // The listening time is over: nothing answered, or the name as it now is,
  // goes into the log as "Receiver: " and the name.
  unsigned EndIdentify(nmea::LogPane<Ch>& log) {
    if (!identifying_) return kNothing;
    identifying_ = false;
    unsigned change = kNothing;
    if (recogniser_.Signals() == signalsAtIdentify_) {
      recogniser_.NoAnswer();
      change = kNameChanged;
    }
    LogName(log);
    return change;
  }

  // "Receiver: " and the name, as a line of the log.
  void LogName(nmea::LogPane<Ch>& log) const {
    Ch note[kEchoChars] = {};
    int fill = 0;
    AppendAscii(note, &fill, "Receiver: ");
    AppendAscii(note, &fill, Name());
    AppendAscii(note, &fill, "\r\n");
    log.ReplaceSelection(note);
  }

 private:
  static void LogAcknowledgement(bool acknowledged, int cls, int id, nmea::LogPane<Ch>& log) {
    Ch note[kEchoChars] = {};
    int fill = 0;
    AppendAscii(note, &fill, acknowledged ? "UBX ACK " : "UBX NAK ");
    const char* name = UbxMessageName(cls, id);
    if (name != nullptr) {
      AppendAscii(note, &fill, name);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const char number[] = {kHex[(cls >> 4) & 15], kHex[cls & 15], ' ', kHex[(id >> 4) & 15], kHex[id & 15], 0};
      AppendAscii(note, &fill, number);
    }
    AppendAscii(note, &fill, "\r\n");
    log.ReplaceSelection(note);
  }

  ReceiverRecogniser recogniser_;
  Family chosen_ = Family::kUnknown;
  bool identifying_ = false;
  unsigned long signalsAtIdentify_ = 0;
  unsigned long framesCounted_ = 0;
};

}  // namespace trelvane::receiver
