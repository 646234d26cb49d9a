// The receiver families the seven commands can speak, and what each command
// puts on the line for each family. SiRF, and a receiver not (yet)
// recognised, get the program's original sentences and echo from
// receiver_commands.hpp; the other families get their own sentences (CR LF
// appended) or binary frames (written as they stand), echoed as the command's
// address and "...sent".
#pragma once

#include "receiver/receiver_commands.hpp"

namespace trelvane::receiver {

// The family list's items in list order: the selected index is the value.
// kUnknown is "Auto" as a choice and "nothing recognised" as a recognition.
enum class Family { kUnknown, kSirf, kMediaTek, kUblox8, kUblox9, kCasic, kAiroha };
constexpr int kFamilyCount = 7;
constexpr const char* kFamilyItems[kFamilyCount] = {"Auto", "SiRF", "MediaTek", "u-blox 6/7/8", "u-blox 9/10", "CASIC",
                                                   "Airoha"};

inline Family FamilyAt(int index) {
  return (index > 0 && index < kFamilyCount) ? static_cast<Family>(index) : Family::kUnknown;
}

// The family the commands speak: the one chosen, or under "Auto" the one
// recognised (still kUnknown until something is recognised).
inline Family FamilyInForce(Family chosen, Family recognised) {
  return chosen == Family::kUnknown ? recognised : chosen;
}

// One thing written: a sentence, or a binary frame.
struct CommandPart {
  const char* sentence;  // ASCII, without CR LF; nullptr for a frame
  const unsigned char* frame;
  int frameLength;
};

// UBX frames: sync B5 62, class, id, little-endian length, payload, and the
// 8-bit Fletcher sum over class, id, length and payload.
constexpr unsigned char kUbxColdStart[] = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xFF, 0x02, 0x00, 0x0E, 0x61};
constexpr unsigned char kUbxVtgOn[] = {0xB5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xF0, 0x05, 0x01, 0x00, 0x1A};
constexpr unsigned char kUbxVtgOff[] = {0xB5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xF0, 0x05, 0x00, 0xFF, 0x19};
constexpr unsigned char kUbxSbasOn[] = {0xB5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x01, 0x03,
                                        0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xB9};
constexpr unsigned char kUbxSbasOff[] = {0xB5, 0x62, 0x06, 0x16, 0x08, 0x00, 0x00, 0x03,
                                         0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0xB1};
constexpr unsigned char kUbxPowerSaveOn[] = {0xB5, 0x62, 0x06, 0x11, 0x02, 0x00, 0x08, 0x01, 0x22, 0x92};
constexpr unsigned char kUbxPowerSaveOff[] = {0xB5, 0x62, 0x06, 0x11, 0x02, 0x00, 0x08, 0x00, 0x21, 0x91};
// CFG-VALSET, version 0, RAM layer: keys 0x209100B1 (VTG on UART1) and
// 0x209100B3 (VTG on USB) in one frame, so both ports change together.
constexpr unsigned char kValsetVtgOn[] = {0xB5, 0x62, 0x06, 0x8A, 0x0E, 0x00, 0x00, 0x01, 0x00, 0x00, 0xB1, 0x00,
                                          0x91, 0x20, 0x01, 0xB3, 0x00, 0x91, 0x20, 0x01, 0x67, 0x4E};
constexpr unsigned char kValsetVtgOff[] = {0xB5, 0x62, 0x06, 0x8A, 0x0E, 0x00, 0x00, 0x01, 0x00, 0x00, 0xB1, 0x00,
                                           0x91, 0x20, 0x00, 0xB3, 0x00, 0x91, 0x20, 0x00, 0x65, 0x47};
// Key 0x10310020 (SBAS on) and key 0x20D00001 (power save mode).
constexpr unsigned char kValsetSbasOn[] = {0xB5, 0x62, 0x06, 0x8A, 0x09, 0x00, 0x00, 0x01, 0x00,
                                           0x00, 0x20, 0x00, 0x31, 0x10, 0x01, 0xFC, 0x85};
constexpr unsigned char kValsetSbasOff[] = {0xB5, 0x62, 0x06, 0x8A, 0x09, 0x00, 0x00, 0x01, 0x00,
                                            0x00, 0x20, 0x00, 0x31, 0x10, 0x00, 0xFB, 0x84};
constexpr unsigned char kValsetPowerSaveOn[] = {0xB5, 0x62, 0x06, 0x8A, 0x09, 0x00, 0x00, 0x01, 0x00,
                                                0x00, 0x01, 0x00, 0xD0, 0x20, 0x01, 0x8C, 0xE7};
constexpr unsigned char kValsetPowerSaveOff[] = {0xB5, 0x62, 0x06, 0x8A, 0x09, 0x00, 0x00, 0x01, 0x00,
                                                 0x00, 0x01, 0x00, 0xD0, 0x20, 0x00, 0x8B, 0xE6};
// MON-VER poll: the u-blox answers with its software, hardware and extensions.
constexpr unsigned char kUbxMonVerPoll[] = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34};

constexpr CommandPart Sentence(const char* text) { return {text, nullptr, 0}; }
template <int N>
constexpr CommandPart Frame(const unsigned char (&bytes)[N]) {
  return {nullptr, bytes, N};
}

// One family's form of one command: the echo's first line, then one or two
// things written in order.
struct FamilyCommand {
  Family family;
  unsigned message;
  const char* echo;
  CommandPart parts[2];
};

// Every (family, command) pair other than SiRF's. A pair missing here is not
// available for that family: its control is greyed.
constexpr FamilyCommand kFamilyCommands[] = {
    {Family::kMediaTek, kMsgColdStart, "$PMTK103", {Sentence("$PMTK103*30")}},
    {Family::kMediaTek, kMsgVtgOn, "$PMTK314", {Sentence("$PMTK314,0,1,1,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0*2D")}},
    {Family::kMediaTek, kMsgVtgOff, "$PMTK314", {Sentence("$PMTK314,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0*2C")}},
    {Family::kMediaTek, kMsgWaasOn, "$PMTK313", {Sentence("$PMTK313,1*2E"), Sentence("$PMTK301,2*2E")}},
    {Family::kMediaTek, kMsgWaasOff, "$PMTK313", {Sentence("$PMTK313,0*2F"), Sentence("$PMTK301,0*2C")}},
    {Family::kMediaTek, kMsgPowerSaveOn, "$PMTK225", {Sentence("$PMTK225,8*23")}},
    {Family::kMediaTek, kMsgPowerSaveOff, "$PMTK225", {Sentence("$PMTK225,0*2B")}},

    {Family::kUblox8, kMsgColdStart, "UBX CFG-RST", {Frame(kUbxColdStart)}},
    {Family::kUblox8, kMsgVtgOn, "UBX CFG-MSG", {Frame(kUbxVtgOn)}},
    {Family::kUblox8, kMsgVtgOff, "UBX CFG-MSG", {Frame(kUbxVtgOff)}},
    {Family::kUblox8, kMsgWaasOn, "UBX CFG-SBAS", {Frame(kUbxSbasOn)}},
    {Family::kUblox8, kMsgWaasOff, "UBX CFG-SBAS", {Frame(kUbxSbasOff)}},
    {Family::kUblox8, kMsgPowerSaveOn, "UBX CFG-RXM", {Frame(kUbxPowerSaveOn)}},
    {Family::kUblox8, kMsgPowerSaveOff, "UBX CFG-RXM", {Frame(kUbxPowerSaveOff)}},

    {Family::kUblox9, kMsgColdStart, "UBX CFG-RST", {Frame(kUbxColdStart)}},
    {Family::kUblox9, kMsgVtgOn, "UBX CFG-VALSET", {Frame(kValsetVtgOn)}},
    {Family::kUblox9, kMsgVtgOff, "UBX CFG-VALSET", {Frame(kValsetVtgOff)}},
    {Family::kUblox9, kMsgWaasOn, "UBX CFG-VALSET", {Frame(kValsetSbasOn)}},
    {Family::kUblox9, kMsgWaasOff, "UBX CFG-VALSET", {Frame(kValsetSbasOff)}},
    {Family::kUblox9, kMsgPowerSaveOn, "UBX CFG-VALSET", {Frame(kValsetPowerSaveOn)}},
    {Family::kUblox9, kMsgPowerSaveOff, "UBX CFG-VALSET", {Frame(kValsetPowerSaveOff)}},

    {Family::kCasic, kMsgColdStart, "$PCAS10", {Sentence("$PCAS10,2*1E")}},
    {Family::kCasic, kMsgVtgOn, "$PCAS03", {Sentence("$PCAS03,,,,,,1*33")}},
    {Family::kCasic, kMsgVtgOff, "$PCAS03", {Sentence("$PCAS03,,,,,,0*32")}},

    {Family::kAiroha, kMsgColdStart, "$PAIR006", {Sentence("$PAIR006*3C")}},
    {Family::kAiroha, kMsgVtgOn, "$PAIR062", {Sentence("$PAIR062,5,1*3A")}},
    {Family::kAiroha, kMsgVtgOff, "$PAIR062", {Sentence("$PAIR062,5,0*3B")}},
    {Family::kAiroha, kMsgWaasOn, "$PAIR410", {Sentence("$PAIR410,1*22")}},
    {Family::kAiroha, kMsgWaasOff, "$PAIR410", {Sentence("$PAIR410,0*23")}},
};

// The row for `message` in `family`'s own language; nullptr for SiRF and
// kUnknown (they use the original table) and for a command not available.
inline const FamilyCommand* FindFamilyCommand(Family family, unsigned message) {
  for (const FamilyCommand& row : kFamilyCommands) {
    if (row.family == family && row.message == message) return &row;
  }
  return nullptr;
}

// Whether `message`'s control is usable while `family` is in force.
inline bool CommandAvailable(Family family, unsigned message) {
  if (family == Family::kUnknown || family == Family::kSirf) return FindReceiverCommand(message) != nullptr;
  return FindFamilyCommand(family, message) != nullptr;
}

// The Identify queries, written in this order when the user asks for them.
constexpr CommandPart kIdentifyQueries[] = {
    Frame(kUbxMonVerPoll),      Sentence("$PMTK605*31"), Sentence("$PCAS06,0*1B"),
    Sentence("$PAIR020*38"), Sentence("$PQTMVERNO*58"),
};

// Writes one part: a sentence through the link's sentence path (which
// appends CR LF), a frame byte for byte through its byte path.
template <class Ch>
void WritePart(const CommandPart& part, SentenceWriter<Ch>& link) {
  if (part.frame != nullptr) {
    link.WriteBytes(part.frame, part.frameLength);
    return;
  }
  if (part.sentence == nullptr) return;
  Ch text[kCommandTextChars] = {};
  for (int n = 0; part.sentence[n] != 0 && n < kCommandTextChars - 1; ++n) {
    text[n] = Ch(static_cast<unsigned char>(part.sentence[n]));
  }
  link.WriteSentence(text);
}

// Appends `text` to `out` at `*fill`, bounded so a zero always fits.
template <class Ch, int N>
void AppendAscii(Ch (&out)[N], int* fill, const char* text) {
  for (int n = 0; text[n] != 0 && *fill < N - 1; ++n) out[(*fill)++] = Ch(static_cast<unsigned char>(text[n]));
  out[*fill] = Ch(0);
}

// Logs `echo` as a family's command is echoed ("ECHO", then "...sent"), then
// writes `count` parts in order (a part with neither sentence nor frame is
// skipped).
template <class Ch>
void SendParts(const char* echo, const CommandPart* parts, int count, nmea::LogPane<Ch>& log,
               SentenceWriter<Ch>& link) {
  Ch text[kEchoChars] = {};
  int fill = 0;
  AppendAscii(text, &fill, echo);
  AppendAscii(text, &fill, "\r\n...sent\r\n");
  log.ReplaceSelection(text);
  for (int i = 0; i < count; ++i) WritePart(parts[i], link);
}

// Handles one command message for the family in force: SiRF and kUnknown as
// the program always has; another family logs its echo, then writes its
// bytes. Returns 1, or 0 (nothing logged or written) when the command is not
// available for the family.
template <class Ch>
int SendFamilyCommand(Family family, unsigned message, EchoStyle style, nmea::LogPane<Ch>& log,
                      SentenceWriter<Ch>& link) {
  if (family == Family::kUnknown || family == Family::kSirf) {
    const ReceiverCommand* command = FindReceiverCommand(message);
    return command == nullptr ? 0 : SendReceiverCommand(*command, style, log, link);
  }
  const FamilyCommand* row = FindFamilyCommand(family, message);
  if (row == nullptr) return 0;
  SendParts(row->echo, row->parts, 2, log, link);
  return 1;
}

}  // namespace trelvane::receiver
