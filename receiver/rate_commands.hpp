// The receiver's rates and their keeping: what each family puts on the line
// to change the rate of its serial port, the rate of its fixes, and to save
// both so that it wakes up that way. Unlike the seven commands, these carry a
// value (a baud rate, a fix period), so their sentences and frames are built
// here, each with its own checksum, into a bounded command of their own.
//
// Which item a family can take is decided here too, so that both monitors
// grey the same ones: a rate the family's parts do not take, a fix rate the
// port cannot carry, a save the family does not have.
#pragma once

#include <cstdio>

#include "receiver/link_settings.hpp"
#include "receiver/receiver_family.hpp"

namespace trelvane::receiver {

// The Receiver menu's items: a port rate for each item of the rate list (in
// list order), the four fix rates, and the save.
constexpr unsigned kCmdPortRateFirst = 40030;  // 40030 ... 40040
constexpr unsigned kCmdFixRateFirst = 40050;   // 40050 ... 40053
constexpr unsigned kCmdSaveToReceiver = 40060;
constexpr int kFixRateCount = 4;
constexpr unsigned kFixRatesHz[kFixRateCount] = {1, 2, 5, 10};
constexpr const char* kFixRateItems[kFixRateCount] = {"1 Hz", "2 Hz", "5 Hz", "10 Hz"};
constexpr const char* kSaveItem = "Save to Receiver";
constexpr const char* kSaveItemKeptWhilePowered = "Save to Receiver (kept while powered)";

// A link's load is kept under this share of the port's bytes a second (its
// rate over ten: a start bit, eight data bits, a stop bit).
constexpr unsigned kLoadPercent = 80;
// What a fix costs before the link has measured it.
constexpr unsigned long kAssumedBytesPerFix = 1000;

// What each family's parts take. A rate a family's parts may refuse (a
// MediaTek above 115200) stays offered: the monitor then finds the receiver
// where it was.
struct RateAbilities {
  Family family;
  unsigned long portRates[kBaudCount];  // zero-ended when fewer
  unsigned fixRatesHz[kFixRateCount];   // zero-ended when fewer
  bool saves;                           // false: kept only while powered
};

constexpr RateAbilities kRateAbilities[] = {
    {Family::kSirf, {4800, 9600, 38400, 57600, 115200}, {1, 5}, false},
    {Family::kMediaTek, {4800, 9600, 14400, 38400, 57600, 115200, 230400, 460800, 921600}, {1, 2, 5, 10}, false},
    {Family::kUblox8, {4800, 9600, 38400, 57600, 115200, 230400, 460800, 921600}, {1, 2, 5, 10}, true},
    {Family::kUblox9, {4800, 9600, 38400, 57600, 115200, 230400, 460800, 921600}, {1, 2, 5, 10}, true},
    {Family::kCasic, {4800, 9600, 38400, 57600, 115200}, {1, 2, 5, 10}, true},
    {Family::kAiroha, {9600, 38400, 57600, 115200, 230400, 460800, 921600}, {1, 2, 5, 10}, true},
};

inline const RateAbilities* FindRateAbilities(Family family) {
  for (const RateAbilities& row : kRateAbilities) {
    if (row.family == family) return &row;
  }
  return nullptr;  // kUnknown: nothing recognised, nothing offered
}

inline bool TakesPortRate(Family family, unsigned long baud) {
  const RateAbilities* row = FindRateAbilities(family);
  if (row == nullptr || baud == 0) return false;
  for (unsigned long rate : row->portRates) {
    if (rate == baud) return true;
  }
  return false;
}

inline bool TakesFixRate(Family family, unsigned hz) {
  const RateAbilities* row = FindRateAbilities(family);
  if (row == nullptr || hz == 0) return false;
  for (unsigned rate : row->fixRatesHz) {
    if (rate == hz) return true;
  }
  return false;
}

inline bool Saves(Family family) {
  const RateAbilities* row = FindRateAbilities(family);
  return row != nullptr && row->saves;
}

// Whether a port at `baud` carries `hz` fixes a second, when the link
// measured `bytesPerSecond` at `currentHz` (0 for either: nothing measured
// yet, and the receiver taken to be at 1 Hz). Slowing down never overloads
// a port that carries what runs now.
inline bool CarriesFixRate(unsigned long baud, unsigned long bytesPerSecond, unsigned currentHz, unsigned hz) {
  if (baud == 0 || hz == 0) return false;
  if (hz <= (currentHz == 0 ? 1u : currentHz)) return true;
  const unsigned long perFix =
      bytesPerSecond == 0 || currentHz == 0 ? kAssumedBytesPerFix : (bytesPerSecond + currentHz - 1) / currentHz;
  // Whole numbers throughout: load * 100 < 80 * (baud / 10), without the division.
  return static_cast<unsigned long long>(perFix) * hz * 100 * 10 < static_cast<unsigned long long>(kLoadPercent) * baud;
}

// What decides whether a Receiver-menu rate item can be used: the family in
// force, whether a link is open for it (not a file playing, no rate change
// under way), the port's rate, and the link's measured load.
struct RateContext {
  Family family = Family::kUnknown;
  bool usable = false;
  unsigned long portBaud = 0;
  unsigned long bytesPerSecond = 0;  // 0: not measured yet
  unsigned currentHz = 0;            // 0: not known yet
};

// Whether the item with command id `command` is offered (else it is grey).
inline bool RateItemEnabled(unsigned command, const RateContext& context) {
  if (!context.usable || FindRateAbilities(context.family) == nullptr) return false;
  if (command >= kCmdPortRateFirst && command < kCmdPortRateFirst + kBaudCount) {
    return TakesPortRate(context.family, kBaudTable[command - kCmdPortRateFirst]);
  }
  if (command >= kCmdFixRateFirst && command < kCmdFixRateFirst + kFixRateCount) {
    const unsigned hz = kFixRatesHz[command - kCmdFixRateFirst];
    return TakesFixRate(context.family, hz) &&
           CarriesFixRate(context.portBaud, context.bytesPerSecond, context.currentHz, hz);
  }
  return command == kCmdSaveToReceiver && Saves(context.family);
}

// The save item's text: a family that keeps its settings only while its
// backup power lasts says so.
inline const char* SaveItemText(Family family) {
  return family == Family::kSirf || family == Family::kMediaTek ? kSaveItemKeptWhilePowered : kSaveItem;
}

// A command built for the line: its echo's first line, then one or two
// parts, each a sentence (ASCII, checksummed, without CR LF) or a frame.
struct RateCommand {
  static constexpr int kPartBytes = 48;
  struct Part {
    bool frame = false;
    unsigned char bytes[kPartBytes] = {};  // a sentence is zero-ended
    int length = 0;
  };
  const char* echo = "";
  Part parts[2];
  int partCount = 0;

  // Part `i` as the link writes it.
  CommandPart PartAt(int i) const {
    const Part& part = parts[i];
    if (part.frame) return {nullptr, part.bytes, part.length};
    return {reinterpret_cast<const char*>(part.bytes), nullptr, 0};
  }
};

// Logs the command's echo and writes its parts, as the seven commands are
// sent; nothing for a command that was not built.
template <class Ch>
int SendRateCommand(const RateCommand& command, nmea::LogPane<Ch>& log, SentenceWriter<Ch>& link) {
  if (command.partCount == 0) return 0;
  const CommandPart parts[2] = {command.PartAt(0), command.PartAt(1)};
  SendParts(command.echo, parts, command.partCount, log, link);
  return 1;
}

namespace rate_detail {

// `body` between "$" and "*": "$", the body, "*" and the XOR of the body
// in two upper-case hex digits.
inline void AddSentence(RateCommand& command, const char* body) {
  RateCommand::Part& part = command.parts[command.partCount++];
  unsigned char sum = 0;
  for (const char* at = body; *at != 0; ++at) sum = static_cast<unsigned char>(sum ^ static_cast<unsigned char>(*at));
  const int n = std::snprintf(reinterpret_cast<char*>(part.bytes), RateCommand::kPartBytes, "$%s*%02X", body, sum);
  part.length = n < 0 ? 0 : (n < RateCommand::kPartBytes ? n : RateCommand::kPartBytes - 1);
}

// A UBX frame of class 06 and `id` around `payload`: sync B5 62, class, id,
// little-endian length, payload, and the 8-bit Fletcher sum from the class
// to the payload's end.
inline void AddUbxFrame(RateCommand& command, unsigned char id, const unsigned char* payload, int length) {
  RateCommand::Part& part = command.parts[command.partCount++];
  part.frame = true;
  unsigned char* out = part.bytes;
  int n = 0;
  const unsigned char head[] = {0xB5, 0x62, 0x06, id, static_cast<unsigned char>(length & 0xFF),
                                static_cast<unsigned char>(length >> 8)};
  for (unsigned char byte : head) out[n++] = byte;
  for (int i = 0; i < length && n < RateCommand::kPartBytes - 2; ++i) out[n++] = payload[i];
  unsigned char a = 0;
  unsigned char b = 0;
  for (int i = 2; i < n; ++i) {
    a = static_cast<unsigned char>(a + out[i]);
    b = static_cast<unsigned char>(b + a);
  }
  out[n++] = a;
  out[n++] = b;
  part.length = n;
}

inline int PutLittleEndian(unsigned char* out, unsigned long value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// CFG-VALSET, version 0, in `layers` (01 RAM; 06 BBR and Flash), of the
// port-rate key (u32), the fix-period key (u16 ms), or both.
constexpr unsigned long kKeyUart1Baud = 0x40520001;
constexpr unsigned long kKeyMeasurePeriod = 0x30210001;
inline void AddValset(RateCommand& command, unsigned char layers, unsigned long baud, unsigned periodMs) {
  unsigned char payload[4 + 8 + 6] = {0x00, layers, 0x00, 0x00};
  int n = 4;
  if (baud != 0) {
    n += PutLittleEndian(payload + n, kKeyUart1Baud, 4);
    n += PutLittleEndian(payload + n, baud, 4);
  }
  if (periodMs != 0) {
    n += PutLittleEndian(payload + n, kKeyMeasurePeriod, 4);
    n += PutLittleEndian(payload + n, periodMs, 2);
  }
  AddUbxFrame(command, 0x8A, payload, n);
}

// The index a CASIC part gives each rate it takes.
inline int CasicRateIndex(unsigned long baud) {
  constexpr unsigned long kRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
  for (int i = 0; i < 6; ++i) {
    if (kRates[i] == baud) return i;
  }
  return -1;
}

}  // namespace rate_detail

// `family`'s command that moves its port to `baud`; false (and nothing
// built) where the family does not take it.
inline bool BuildPortRate(Family family, unsigned long baud, RateCommand& command) {
  using namespace rate_detail;
  command = RateCommand{};
  if (!TakesPortRate(family, baud)) return false;
  char body[40];
  switch (family) {
    case Family::kSirf:  // "1": stay in NMEA; the part restarts at the new rate, unanswered
      command.echo = "$PSRF100";
      std::snprintf(body, sizeof body, "PSRF100,1,%lu,8,1,0", baud);
      break;
    case Family::kMediaTek:
      command.echo = "$PMTK251";
      std::snprintf(body, sizeof body, "PMTK251,%lu", baud);
      break;
    case Family::kCasic:
      command.echo = "$PCAS01";
      std::snprintf(body, sizeof body, "PCAS01,%d", CasicRateIndex(baud));
      break;
    case Family::kAiroha:
      command.echo = "$PAIR864";
      std::snprintf(body, sizeof body, "PAIR864,0,0,%lu", baud);
      break;
    case Family::kUblox8:
      // Its port setting holds more than the rate (the protocols in and out:
      // an RTK rover's RTCM in, a base's RTCM out): the port rate is a
      // poll first (BuildPortRatePoll), and a write of what it answered
      // with only the rate changed (BuildPortRateFromAnswer).
      return false;
    case Family::kUblox9:
      command.echo = "UBX CFG-VALSET";
      AddValset(command, 0x01, baud, 0);
      return true;
    default:
      return false;
  }
  AddSentence(command, body);
  return true;
}

// A family whose port setting is read before its rate is written: the
// write carries the whole setting, and only the rate may change in it.
inline bool PollsPortRate(Family family) { return family == Family::kUblox8; }

constexpr int kPortSettingBytes = 20;  // CFG-PRT's payload for a UART

// The poll of UART1's setting (CFG-PRT with the port's id alone).
inline void BuildPortRatePoll(RateCommand& command) {
  command = RateCommand{};
  command.echo = "UBX CFG-PRT poll";
  const unsigned char uart1 = 0x01;
  rate_detail::AddUbxFrame(command, 0x00, &uart1, 1);
}

// The receiver's answer to that poll is `frame`: when it is UART1's
// setting, `command` writes it back with its rate at `baud` and every other
// byte as it was; false for any other frame.
inline bool BuildPortRateFromAnswer(const unsigned char* frame, int length, unsigned long baud, RateCommand& command) {
  command = RateCommand{};
  if (length != 8 + kPortSettingBytes || frame[0] != 0xB5 || frame[1] != 0x62 || frame[2] != 0x06 || frame[3] != 0x00 ||
      frame[4] != kPortSettingBytes || frame[5] != 0 || frame[6] != 0x01) {
    return false;
  }
  unsigned char setting[kPortSettingBytes];
  for (int i = 0; i < kPortSettingBytes; ++i) setting[i] = frame[6 + i];
  rate_detail::PutLittleEndian(setting + 8, baud, 4);
  command.echo = "UBX CFG-PRT";
  rate_detail::AddUbxFrame(command, 0x00, setting, kPortSettingBytes);
  return true;
}

// `family`'s command (or pair of commands) for `hz` fixes a second.
inline bool BuildFixRate(Family family, unsigned hz, RateCommand& command) {
  using namespace rate_detail;
  command = RateCommand{};
  if (!TakesFixRate(family, hz)) return false;
  const unsigned periodMs = 1000 / hz;
  char body[40];
  switch (family) {
    case Family::kSirf:  // a message-rate switch of the SiRFstarIV: 5 Hz on or off
      command.echo = "$PSRF103";
      AddSentence(command, hz == 5 ? "PSRF103,0,6,0,0" : "PSRF103,0,7,0,0");
      return true;
    case Family::kMediaTek:  // the fix interval, then the position fix interval
      command.echo = "$PMTK220";
      std::snprintf(body, sizeof body, "PMTK220,%u", periodMs);
      AddSentence(command, body);
      std::snprintf(body, sizeof body, "PMTK300,%u,0,0,0,0", periodMs);
      AddSentence(command, body);
      return true;
    case Family::kCasic:
      command.echo = "$PCAS02";
      std::snprintf(body, sizeof body, "PCAS02,%u", periodMs);
      AddSentence(command, body);
      return true;
    case Family::kAiroha:
      command.echo = "$PAIR050";
      std::snprintf(body, sizeof body, "PAIR050,%u", periodMs);
      AddSentence(command, body);
      return true;
    case Family::kUblox8: {
      // CFG-RATE: the measurement period, one fix a measurement, GPS time.
      command.echo = "UBX CFG-RATE";
      unsigned char payload[6] = {0, 0, 0x01, 0x00, 0x01, 0x00};
      PutLittleEndian(payload, periodMs, 2);
      AddUbxFrame(command, 0x08, payload, 6);
      return true;
    }
    case Family::kUblox9:
      command.echo = "UBX CFG-VALSET";
      AddValset(command, 0x01, 0, periodMs);
      return true;
    default:
      return false;
  }
}

// `family`'s save of everything the receiver holds now, to where it keeps
// it over a power cycle.
inline bool BuildSave(Family family, RateCommand& command) {
  using namespace rate_detail;
  command = RateCommand{};
  if (!Saves(family)) return false;
  switch (family) {
    case Family::kCasic:
      command.echo = "$PCAS00";
      AddSentence(command, "PCAS00");
      return true;
    case Family::kAiroha:
      command.echo = "$PAIR513";
      AddSentence(command, "PAIR513");
      return true;
    case Family::kUblox8:
    case Family::kUblox9: {
      // CFG-CFG: clear nothing, save every section, load nothing, to the
      // battery-backed RAM and the flash. It stores what the receiver holds,
      // and nothing of the monitor's own: on USB the monitor's port rate is
      // not UART1's, and storing it there would break what is wired to it.
      command.echo = "UBX CFG-CFG";
      const unsigned char payload[13] = {0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x03};
      AddUbxFrame(command, 0x09, payload, 13);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace trelvane::receiver
