// The portable pieces of the receiver link: port names cut from list items,
// the baud table, the command table with its echo, and sentence framing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/line_batch.hpp"
#include "link/link_health.hpp"
#include "net/network_source.hpp"
#include "link/port_name.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/sentence_intake.hpp"
#include "receiver/link_settings.hpp"
#include "receiver/rate_commands.hpp"
#include "receiver/receiver_commands.hpp"
#include "receiver/receiver_family.hpp"
#include "receiver/receiver_session.hpp"
#include "stream/sentence_frame.hpp"
#include "stream/sentence_spotter.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane::link;
using namespace trelvane::net;
using namespace trelvane::receiver;
using namespace trelvane::stream;
using trelvane::nmea::Utf16Unit;

using trelvane::testing::Widen;

template <class Ch>
class LinkTextTest : public ::testing::Test {};
using CharTypes = ::testing::Types<char, Utf16Unit>;
TYPED_TEST_SUITE(LinkTextTest, CharTypes);

TYPED_TEST(LinkTextTest, PortNameEndsAfterTheFirstColon) {
  struct Case {
    std::string item, name;
  } cases[] = {
      {"COM3:  GPS Receiver", "COM3:"},
      {"COM12:  USB Serial:2", "COM12:"},
      {"COM4", "COM4"},
      {"", ""},
      {":", ":"},
      {"COM1::", "COM1:"},
  };
  for (const Case& c : cases) {
    auto item = Widen<TypeParam>(c.item);
    TypeParam name[kItemTextChars];
    CutPortName(item.c_str(), name, kItemTextChars);
    EXPECT_EQ(std::basic_string<TypeParam>(name), Widen<TypeParam>(c.name)) << c.item;
  }
}

TYPED_TEST(LinkTextTest, PortNameNeverOverrunsItsBuffer) {
  auto item = Widen<TypeParam>(std::string(300, 'X') + ":");
  TypeParam name[kItemTextChars + 8];
  for (auto& unit : name) unit = TypeParam('#');
  CutPortName(item.c_str(), name, kItemTextChars);
  EXPECT_EQ(std::basic_string<TypeParam>(name).size(), 255u);
  EXPECT_EQ(name[kItemTextChars], TypeParam('#'));
}

TYPED_TEST(LinkTextTest, EchoNamesThePowerSaveCommandsOnTheDesktopOnly) {
  struct Case {
    EchoStyle style;
    unsigned message;
    std::string echo;
  } cases[] = {
      {EchoStyle::kDesktop, kMsgPowerSaveOn, "$PSRF..\r\n...OK\r\n"},
      {EchoStyle::kDesktop, kMsgPowerSaveOff, "$PSRF..\r\n...OK\r\n"},
      {EchoStyle::kDesktop, kMsgWaasOn, "$PSRF\r\n...OK\r\n"},
      {EchoStyle::kDesktop, kMsgColdStart, "$PSRF\r\n...OK\r\n"},
      {EchoStyle::kHandheld, kMsgPowerSaveOn, "$PSRF\r\n...OK\r\n"},
      {EchoStyle::kHandheld, kMsgVtgOff, "$PSRF\r\n...OK\r\n"},
  };
  for (const Case& c : cases) {
    TypeParam echo[kEchoChars];
    for (auto& unit : echo) unit = TypeParam('#');
    ComposeEcho(c.style, c.message, echo);
    EXPECT_EQ(std::basic_string<TypeParam>(echo), Widen<TypeParam>(c.echo)) << c.message;
    EXPECT_EQ(echo[kEchoChars - 1], TypeParam(0));  // the rest is zero-filled
  }
}

// Records what the command handler does, in order.
template <class Ch>
struct Recorder final : trelvane::nmea::LogPane<Ch>, SentenceWriter<Ch> {
  std::vector<std::string> events;
  static std::string Narrow(const Ch* text) {
    std::string s;
    for (; *text != Ch(0); ++text) s.push_back(static_cast<char>(*text));
    return s;
  }
  int LineCount() override { return 1; }
  void SetText(const Ch* text) override { events.push_back("set:" + Narrow(text)); }
  void ReplaceSelection(const Ch* text) override { events.push_back("log:" + Narrow(text)); }
  int WriteSentence(const Ch* text) override {
    events.push_back("write:" + Narrow(text));
    return 1;
  }
  int WriteBytes(const unsigned char* bytes, int length) override {
    std::string hex = "bytes:";
    char two[4];
    for (int n = 0; n < length; ++n) {
      std::snprintf(two, sizeof two, n == 0 ? "%02X" : " %02X", bytes[n]);
      hex += two;
    }
    events.push_back(hex);
    return 1;
  }
};

TYPED_TEST(LinkTextTest, CommandLogsItsEchoBeforeWritingItsSentence) {
  Recorder<TypeParam> recorder;
  const ReceiverCommand* vtgOn = FindReceiverCommand(kMsgVtgOn);
  ASSERT_NE(vtgOn, nullptr);
  EXPECT_EQ(SendReceiverCommand(*vtgOn, EchoStyle::kHandheld, recorder, recorder), 1);
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[0], "log:$PSRF\r\n...OK\r\n");
  EXPECT_EQ(recorder.events[1], "write:$PSRF103,05,00,01,01*20");
}

TYPED_TEST(LinkTextTest, FrameAppendsCrLfAndKeepsRoomForTheZero) {
  char frame[kHandheldWriteBytes + 4];
  for (char& c : frame) c = '#';
  auto text = Widen<TypeParam>("$PSRF104,0,0,0,96000,237759,1946,12,4*1D");
  int n = FrameSentence(text.c_str(), frame, kHandheldWriteBytes);
  EXPECT_EQ(std::string(frame, n), "$PSRF104,0,0,0,96000,237759,1946,12,4*1D\r\n");

  // 125 units fit with CR, LF and the zero; a longer text is cut there.
  auto longText = Widen<TypeParam>(std::string(200, 'a'));
  n = FrameSentence(longText.c_str(), frame, kHandheldWriteBytes);
  EXPECT_EQ(n, 127);
  EXPECT_EQ(std::string(frame + 123, 4), std::string("aa\r\n"));
  EXPECT_EQ(frame[127], 0);
  EXPECT_EQ(frame[kHandheldWriteBytes], '#');
}

TEST(ReceiverCommandTable, EveryMessageHasItsSentenceAndEachPassesTheChecksum) {
  struct Row {
    unsigned message;
    int bytesOnLine;
  } rows[] = {
      {1704, 26}, {1705, 27}, {1706, 16}, {1707, 16}, {1708, 25}, {1709, 25}, {2725, 42},
  };
  for (const Row& row : rows) {
    const ReceiverCommand* command = FindReceiverCommand(row.message);
    ASSERT_NE(command, nullptr) << row.message;
    char frame[kDesktopWriteBytes];
    const int n = FrameSentence(command->sentence, frame, kDesktopWriteBytes);
    EXPECT_EQ(n, row.bytesOnLine) << command->sentence;
    // Read back as a received line, the sentence passes sentence intake's check.
    EXPECT_TRUE(trelvane::nmea::ChecksumPasses(frame, n)) << command->sentence;
  }
  EXPECT_EQ(FindReceiverCommand(kMsgToggleGps), nullptr);
  EXPECT_EQ(FindReceiverCommand(kMsgNmeaBatch), nullptr);
  EXPECT_EQ(FindReceiverCommand(kMsgGdiCensus), nullptr);
}

// What each control writes and logs for each family: the handler's recorded
// events (echo, then each sentence or frame in order); "" = not available.
TYPED_TEST(LinkTextTest, EachFamilyWritesItsOwnBytesForEachJob) {
  const std::string sirfEcho = "log:$PSRF\r\n...OK\r\n";
  struct Row {
    Family family;
    unsigned message;
    std::string events;
  } rows[] = {
      {Family::kUnknown, kMsgColdStart, sirfEcho + "|write:$PSRF104,0,0,0,96000,237759,1946,12,4*1D"},
      {Family::kSirf, kMsgWaasOn, sirfEcho + "|write:$PSRF151,01*0F"},
      {Family::kUnknown, kMsgPowerSaveOff, sirfEcho + "|write:$PSRF150,0,1000,1000,0*23"},
      {Family::kMediaTek, kMsgColdStart, "log:$PMTK103\r\n...sent\r\n|write:$PMTK103*30"},
      {Family::kMediaTek, kMsgVtgOn, "log:$PMTK314\r\n...sent\r\n|write:$PMTK314,0,1,1,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0*2D"},
      {Family::kMediaTek, kMsgVtgOff, "log:$PMTK314\r\n...sent\r\n|write:$PMTK314,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0*2C"},
      {Family::kMediaTek, kMsgWaasOn, "log:$PMTK313\r\n...sent\r\n|write:$PMTK313,1*2E|write:$PMTK301,2*2E"},
      {Family::kMediaTek, kMsgWaasOff, "log:$PMTK313\r\n...sent\r\n|write:$PMTK313,0*2F|write:$PMTK301,0*2C"},
      {Family::kMediaTek, kMsgPowerSaveOn, "log:$PMTK225\r\n...sent\r\n|write:$PMTK225,8*23"},
      {Family::kMediaTek, kMsgPowerSaveOff, "log:$PMTK225\r\n...sent\r\n|write:$PMTK225,0*2B"},
      {Family::kUblox8, kMsgColdStart, "log:UBX CFG-RST\r\n...sent\r\n|bytes:B5 62 06 04 04 00 FF FF 02 00 0E 61"},
      {Family::kUblox8, kMsgVtgOn, "log:UBX CFG-MSG\r\n...sent\r\n|bytes:B5 62 06 01 03 00 F0 05 01 00 1A"},
      {Family::kUblox8, kMsgVtgOff, "log:UBX CFG-MSG\r\n...sent\r\n|bytes:B5 62 06 01 03 00 F0 05 00 FF 19"},
      {Family::kUblox8, kMsgWaasOn, "log:UBX CFG-SBAS\r\n...sent\r\n|bytes:B5 62 06 16 08 00 01 03 03 00 00 00 00 00 2B B9"},
      {Family::kUblox8, kMsgWaasOff, "log:UBX CFG-SBAS\r\n...sent\r\n|bytes:B5 62 06 16 08 00 00 03 03 00 00 00 00 00 2A B1"},
      {Family::kUblox8, kMsgPowerSaveOn, "log:UBX CFG-RXM\r\n...sent\r\n|bytes:B5 62 06 11 02 00 08 01 22 92"},
      {Family::kUblox8, kMsgPowerSaveOff, "log:UBX CFG-RXM\r\n...sent\r\n|bytes:B5 62 06 11 02 00 08 00 21 91"},
      {Family::kUblox9, kMsgColdStart, "log:UBX CFG-RST\r\n...sent\r\n|bytes:B5 62 06 04 04 00 FF FF 02 00 0E 61"},
      {Family::kUblox9, kMsgVtgOn,
       "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 0E 00 00 01 00 00 B1 00 91 20 01 B3 00 91 20 01 67 4E"},
      {Family::kUblox9, kMsgVtgOff,
       "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 0E 00 00 01 00 00 B1 00 91 20 00 B3 00 91 20 00 65 47"},
      {Family::kUblox9, kMsgWaasOn, "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 09 00 00 01 00 00 20 00 31 10 01 FC 85"},
      {Family::kUblox9, kMsgWaasOff, "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 09 00 00 01 00 00 20 00 31 10 00 FB 84"},
      {Family::kUblox9, kMsgPowerSaveOn, "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 09 00 00 01 00 00 01 00 D0 20 01 8C E7"},
      {Family::kUblox9, kMsgPowerSaveOff, "log:UBX CFG-VALSET\r\n...sent\r\n|bytes:B5 62 06 8A 09 00 00 01 00 00 01 00 D0 20 00 8B E6"},
      {Family::kCasic, kMsgColdStart, "log:$PCAS10\r\n...sent\r\n|write:$PCAS10,2*1E"},
      {Family::kCasic, kMsgVtgOn, "log:$PCAS03\r\n...sent\r\n|write:$PCAS03,,,,,,1*33"},
      {Family::kCasic, kMsgVtgOff, "log:$PCAS03\r\n...sent\r\n|write:$PCAS03,,,,,,0*32"},
      {Family::kCasic, kMsgWaasOn, ""},
      {Family::kCasic, kMsgWaasOff, ""},
      {Family::kCasic, kMsgPowerSaveOn, ""},
      {Family::kCasic, kMsgPowerSaveOff, ""},
      {Family::kAiroha, kMsgColdStart, "log:$PAIR006\r\n...sent\r\n|write:$PAIR006*3C"},
      {Family::kAiroha, kMsgVtgOn, "log:$PAIR062\r\n...sent\r\n|write:$PAIR062,5,1*3A"},
      {Family::kAiroha, kMsgVtgOff, "log:$PAIR062\r\n...sent\r\n|write:$PAIR062,5,0*3B"},
      {Family::kAiroha, kMsgWaasOn, "log:$PAIR410\r\n...sent\r\n|write:$PAIR410,1*22"},
      {Family::kAiroha, kMsgWaasOff, "log:$PAIR410\r\n...sent\r\n|write:$PAIR410,0*23"},
      {Family::kAiroha, kMsgPowerSaveOn, ""},
      {Family::kAiroha, kMsgPowerSaveOff, ""},
  };
  for (const Row& row : rows) {
    Recorder<TypeParam> recorder;
    const int result = SendFamilyCommand(row.family, row.message, EchoStyle::kHandheld, recorder, recorder);
    std::string events;
    for (const std::string& e : recorder.events) events += (events.empty() ? "" : "|") + e;
    EXPECT_EQ(events, row.events) << static_cast<int>(row.family) << " " << row.message;
    EXPECT_EQ(result, row.events.empty() ? 0 : 1);
    EXPECT_EQ(CommandAvailable(row.family, row.message), !row.events.empty());
  }
}

// Every frame in the table carries the Fletcher sum of its class, id, length
// and payload, and the length its payload has; every sentence passes its checksum.
TEST(FamilyCommandTable, FramesAndSentencesCarryValidChecksums) {
  auto checkFrame = [](const unsigned char* f, int n) {
    ASSERT_GE(n, 8);
    EXPECT_EQ(f[0], 0xB5);
    EXPECT_EQ(f[1], 0x62);
    EXPECT_EQ(f[4] | (f[5] << 8), n - 8);
    unsigned a = 0, b = 0;
    for (int i = 2; i < n - 2; ++i) b = (b + (a = (a + f[i]) & 0xFF)) & 0xFF;
    EXPECT_EQ(a, f[n - 2]);
    EXPECT_EQ(b, f[n - 1]);
  };
  auto checkPart = [&](const CommandPart& part) {
    if (part.frame != nullptr) return checkFrame(part.frame, part.frameLength);
    if (part.sentence == nullptr) return;
    char frame[kDesktopWriteBytes];
    const int n = FrameSentence(part.sentence, frame, kDesktopWriteBytes);
    EXPECT_TRUE(trelvane::nmea::ChecksumPasses(frame, n)) << part.sentence;
  };
  for (const FamilyCommand& row : kFamilyCommands) {
    for (const CommandPart& part : row.parts) checkPart(part);
  }
  for (const CommandPart& part : kIdentifyQueries) checkPart(part);
  EXPECT_EQ(FamilyInForce(Family::kUnknown, Family::kCasic), Family::kCasic);
  EXPECT_EQ(FamilyInForce(Family::kMediaTek, Family::kCasic), Family::kMediaTek);
  EXPECT_EQ(FamilyAt(7), Family::kUnknown);
}

// The main window's receiver session: Identify's writes and log, a u-blox
// answering it with MON-VER, acknowledgements logged by name, a family chosen
// over the one recognised, a silent receiver, and a reopened link.
TYPED_TEST(LinkTextTest, SessionIdentifiesLogsAcknowledgementsAndForgets) {
  using Session = ReceiverSession<TypeParam>;
  Recorder<TypeParam> recorder;
  Session session;
  session.StartIdentify(recorder, recorder);
  const std::vector<std::string> identify = {"log:Identify...\r\n", "bytes:B5 62 0A 04 00 00 0E 34",
                                             "write:$PMTK605*31", "write:$PCAS06,0*1B", "write:$PAIR020*38",
                                             "write:$PQTMVERNO*58"};
  EXPECT_EQ(recorder.events, identify);

  // MON-VER of an M9N: software, hardware, then the extensions.
  std::string payload = std::string("ROM SPG 4.04 (7f89f7)") + std::string(9, '\0') + "00190000" + std::string(2, '\0');
  for (const char* ext : {"FWVER=SPG 4.04", "PROTVER=32.01", "MOD=NEO-M9N"}) payload += ext + std::string(30 - std::strlen(ext), '\0');
  std::vector<unsigned char> frame = {0xB5, 0x62, 0x0A, 0x04, static_cast<unsigned char>(payload.size() & 0xFF),
                                      static_cast<unsigned char>(payload.size() >> 8)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  unsigned a = 0, b = 0;
  for (size_t i = 2; i < frame.size(); ++i) b = (b + (a = (a + frame[i]) & 0xFF)) & 0xFF;
  frame.push_back(static_cast<unsigned char>(a));
  frame.push_back(static_cast<unsigned char>(b));
  EXPECT_EQ(session.OnFrame(frame.data(), static_cast<int>(frame.size()), recorder),
            Session::kNameChanged | Session::kFamilyChanged);
  EXPECT_EQ(session.InForce(), Family::kUblox9);
  recorder.events.clear();
  EXPECT_EQ(session.EndIdentify(recorder), 0u);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"log:Receiver: u-blox 9/10 NEO-M9N, FW SPG 4.04\r\n"});

  // ACK-ACK CFG-VALSET and ACK-NAK of a message without a name.
  const unsigned char ack[] = {0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x8A, 0x98, 0xC1};
  const unsigned char nak[] = {0xB5, 0x62, 0x05, 0x00, 0x02, 0x00, 0x06, 0x24, 0x31, 0x56};
  recorder.events.clear();
  EXPECT_EQ(session.OnFrame(ack, 10, recorder), 0u);
  session.OnFrame(nak, 10, recorder);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"log:UBX ACK CFG-VALSET\r\n", "log:UBX NAK 06 24\r\n"}));
  EXPECT_EQ(session.FramesCounted(), 1u);  // the MON-VER answer

  EXPECT_EQ(session.Choose(5), Session::kFamilyChanged);  // CASIC chosen
  EXPECT_EQ(session.InForce(), Family::kCasic);
  EXPECT_EQ(session.Choose(0), Session::kFamilyChanged);
  EXPECT_EQ(session.Forget(), Session::kNameChanged | Session::kFamilyChanged);
  EXPECT_EQ(session.InForce(), Family::kUnknown);

  // Nothing answers: the name says so, and the family stays unrecognised.
  session.StartIdentify(recorder, recorder);
  recorder.events.clear();
  EXPECT_EQ(session.EndIdentify(recorder), Session::kNameChanged);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"log:Receiver: No answer: SiRF or unknown\r\n"});
  EXPECT_EQ(session.InForce(), Family::kUnknown);
  EXPECT_EQ(session.EndIdentify(recorder), 0u);  // only once per Identify
}

TEST(BaudTable, IndexIsTheBaudListPositionAndNothingOutsideIt) {
  const unsigned long expected[] = {1200, 2400, 4800, 9600, 14400, 38400, 57600, 115200, 230400, 460800, 921600};
  ASSERT_EQ(kBaudCount, 11);
  for (int i = 0; i < kBaudCount; ++i) EXPECT_EQ(BaudRateAt(i), expected[i]);
  EXPECT_EQ(BaudRateAt(-1), 0u);
  EXPECT_EQ(BaudRateAt(11), 0u);
}

// What the port scan counts as a receiver at one rate. The sentences are
// real: a u-blox M9N's, a SiRF's proprietary one, a MediaTek start-up line.
TEST(SentenceSpotter, FindsOneWholeValidSentenceFromAnyTalkerThroughNoise) {
  const std::string gnrmc = "$GNRMC,223745.00,A,3806.62964,N,12237.61382,W,0.040,,110720,,,D,V*0E\r\n";
  const std::string psrf = "$PSRFEPE,053229.438,V,,,,,*23\r\n";
  const std::string pmtk = "$PMTK011,MTKGPS*08\r\n";
  std::string garbled = gnrmc;  // what a UART at the wrong rate makes of it
  for (char& c : garbled) c = static_cast<char>(c | 0x80);
  struct Case {
    const char* what;
    std::vector<std::string> reads;  // as they come off the port
    bool found;
  } cases[] = {
      {"a GNSS talker", {gnrmc}, true},
      {"a proprietary sentence", {psrf}, true},
      {"a start-up line", {pmtk}, true},
      {"noise before it on its line", {"\x93\xff#!$$*" + gnrmc}, true},
      {"noise lines around it", {"\x81\xfe\r\n" + std::string(600, '\x55') + "\n", psrf, "\xc3\xc3"}, true},
      {"split over reads", {gnrmc.substr(0, 20), gnrmc.substr(20)}, true},
      {"its start cut off by the start of listening", {gnrmc.substr(3)}, false},
      {"its end not yet come", {gnrmc.substr(0, gnrmc.size() - 1)}, false},
      {"a wrong checksum", {"$PSRFEPE,053229.438,V,,,,,*24\r\n"}, false},
      {"a line feed without carriage return", {"$PMTK011,MTKGPS*08\n"}, false},
      {"the same bytes at the wrong rate", {garbled, garbled}, false},
      {"another device", {"ATZ\r\nOK\r\nRING\r\n"}, false},
      {"nothing", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SentenceSpotter spotter;
    bool found = false;
    for (const std::string& read : c.reads)
      found = spotter.Feed(reinterpret_cast<const unsigned char*>(read.data()), static_cast<int>(read.size()));
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(spotter.Found(), c.found);
    spotter.Reset();  // listening again at another rate starts afresh
    EXPECT_FALSE(spotter.Found());
    EXPECT_FALSE(spotter.Feed(reinterpret_cast<const unsigned char*>(gnrmc.data()) + 1, 10));
  }
}

// The link's health after a run of timer samples (opened at 0 ms): each step
// first counts intake results, then samples the reader's totals at its time.
TEST(LinkHealth, StatesAndCountsFollowTheSamples) {
  struct Step {
    std::uint32_t ms;
    unsigned long bytes, linesCut;
    int accepted, rejected;
    std::uint32_t lastByteMs = 0;  // when the reader read its last bytes; 0: not said
  };
  struct Row {
    const char* what;
    bool closeAtEnd;
    std::vector<Step> steps;
    std::string state, counts;
  } rows[] = {
      {"open, nothing yet", false, {{1000, 0, 0, 0, 0}, {5000, 0, 0, 0, 0}}, "Waiting for data",
       "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
      {"a receiver at the right rate", false, {{1000, 480, 0, 8, 1}, {2000, 960, 0, 8, 0}}, "Receiving",
       "8 sentences/s, 480 bytes/s, 1 bad checksums, 0 lines cut"},
      {"a late timer tick: per second all the same", false, {{1000, 480, 0, 8, 0}, {2500, 1200, 0, 12, 0}},
       "Receiving", "8 sentences/s, 480 bytes/s, 0 bad checksums, 0 lines cut"},
      {"between 2 and 3 s after the last sentence: still receiving", false,
       {{1000, 480, 0, 8, 0}, {2000, 960, 0, 0, 0}, {3500, 1440, 0, 0, 0}}, "Receiving",
       "0 sentences/s, 320 bytes/s, 0 bad checksums, 0 lines cut"},
      {"bytes but no sentence yet, a second after the open", false, {{1000, 3840, 0, 0, 0}}, "Waiting for data",
       "0 sentences/s, 3840 bytes/s, 0 bad checksums, 0 lines cut"},
      {"bytes at the wrong rate, lines cut", false,
       {{1000, 3840, 7, 0, 0}, {2000, 7680, 14, 0, 0}, {3000, 11520, 21, 0, 0}}, "Bytes but no sentences: wrong rate?",
       "0 sentences/s, 3840 bytes/s, 0 bad checksums, 21 lines cut"},
      {"sentences stop, bytes go on for 3 s", false,
       {{1000, 480, 0, 8, 0}, {2000, 960, 0, 0, 2}, {3000, 1440, 0, 0, 2}, {4000, 1920, 0, 0, 2}},
       "Bytes but no sentences: wrong rate?", "0 sentences/s, 480 bytes/s, 6 bad checksums, 0 lines cut"},
      {"silent 3 s after data", false, {{1000, 480, 0, 8, 0}, {2000, 480, 0, 0, 0}, {4000, 480, 0, 0, 0}},
       "Silent for 3 s", "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
      {"silence counts up", false, {{1000, 480, 0, 8, 0}, {4000, 480, 0, 0, 0}, {6500, 480, 3, 0, 0}},
       "Silent for 5 s", "0 sentences/s, 0 bytes/s, 0 bad checksums, 3 lines cut"},
      // The last byte read 100 ms after a sample is silent 3.1 s at 4200,
      // not 2.2 s from the sample that saw it; and counts from that read.
      {"silence from the last byte read", false,
       {{1000, 480, 0, 8, 0, 990}, {2000, 960, 0, 0, 0, 1100}, {4200, 960, 0, 0, 0, 1100}}, "Silent for 3 s",
       "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
      {"silent 6 s after the last byte read", false,
       {{1000, 480, 0, 8, 0, 990}, {2000, 960, 0, 0, 0, 1100}, {7100, 960, 0, 0, 0, 1100}}, "Silent for 6 s",
       "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
      {"closed", true, {{1000, 480, 0, 8, 0}}, "Closed", "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LinkHealth health;
    health.Open(0);
    for (const Step& step : row.steps) {
      for (int i = 0; i < step.accepted; ++i) health.CountAccepted(step.ms - 10);
      for (int i = 0; i < step.rejected; ++i) health.CountRejected();
      health.Sample(step.ms, step.bytes, step.linesCut, step.lastByteMs);
    }
    if (row.closeAtEnd) health.Close();
    char state[64], counts[96];
    health.StateText(state, sizeof state);
    health.CountsText(counts, sizeof counts);
    EXPECT_EQ(state, row.state);
    EXPECT_EQ(counts, row.counts);
    wchar_t wide[64];  // the handheld's text
    health.StateText(wide, 64);
    EXPECT_EQ(std::wstring(wide), std::wstring(row.state.begin(), row.state.end()));
  }
  LinkHealth wrapped;  // the tick count wraps between two samples
  wrapped.Open(0xFFFFFC00u);
  wrapped.CountAccepted(0xFFFFFC00u + 500u);
  wrapped.Sample(0xFFFFFC00u + 1000u, 480, 0);
  char wrappedCounts[96];
  wrapped.CountsText(wrappedCounts, sizeof wrappedCounts);
  EXPECT_STREQ(wrappedCounts, "1 sentences/s, 480 bytes/s, 0 bad checksums, 0 lines cut");

  LinkHealth never;
  char state[8];  // bounded: cut, still terminated
  never.StateText(state, sizeof state);
  EXPECT_STREQ(state, "Closed");
  char small[12];
  never.CountsText(small, sizeof small);
  EXPECT_STREQ(small, "0 sentences");
}

}  // namespace

namespace {

// A batch takes records until its units or its record slots run out, and
// gives each back whole and zero-terminated; a refused record leaves it as
// it was, and a closed link stops the delivery before the next record.
TEST(LineBatchTest, FillsToItsBoundsAndDeliversUntilItsLinkCloses) {
  bool closed = false;
  LineBatch<char> batch([](const void* flag) { return *static_cast<const bool*>(flag); }, &closed);
  const std::string line(510, 'a');
  int added = 0;
  while (batch.AddLine(line.c_str(), 511)) ++added;
  EXPECT_EQ(added, LineBatch<char>::kCapacityUnits / 512);
  EXPECT_FALSE(batch.AddLine(line.c_str(), 511));
  EXPECT_EQ(batch.Count(), added);

  batch.Clear();
  for (int i = 0; i < LineBatch<char>::kMaxRecords; ++i) ASSERT_TRUE(batch.AddLine("\n", 1));
  EXPECT_FALSE(batch.AddLine("\n", 1));

  batch.Clear();
  const std::string lines[] = {"$GPTXT,1*00\r\n", "\r\n", "$GPTXT,3*00\r\n"};
  for (const std::string& text : lines) batch.AddLine(text.c_str(), static_cast<int>(text.size()));
  const unsigned char sync[] = {0xB5, 0x62};
  batch.AddFrame(sync, 2);
  std::vector<std::string> seen;
  int frames = 0;
  size_t closeAfter = 2;  // the handler closes the link after this many lines
  auto onLine = [&](const char* text, int length) {
    seen.emplace_back(text, static_cast<size_t>(length));
    closed = seen.size() == closeAfter;
  };
  EXPECT_EQ(DeliverBatch(batch, onLine, [&](const unsigned char*, int) { ++frames; }), 2);
  EXPECT_EQ(seen, std::vector<std::string>(lines, lines + 2));
  closed = false;
  closeAfter = 0;
  seen.clear();
  EXPECT_EQ(DeliverBatch(batch, onLine, [&](const unsigned char* bytes, int length) { frames += length == 2 && bytes[1] == 0x62; }), 4);
  EXPECT_EQ(frames, 1);

  // The reader's filler hands a full batch over and starts the next with the
  // record that did not fit; it may gather for 50 ms from its first record,
  // never while a line is half read; a frame stays bytes.
  BatchFiller<char16_t> filler(nullptr, nullptr);
  int handOvers = 0;
  auto handOver = [&] {
    ++handOvers;
    filler.Clear();
  };
  for (int i = 0; i <= LineBatch<char16_t>::kMaxRecords; ++i) filler.AddLine(u"\n", 1, 1000 + i, handOver);
  EXPECT_EQ(handOvers, 1);
  EXPECT_EQ(filler.Batch().Count(), 1);
  EXPECT_EQ(filler.GatherLeftMs(1000 + 256 + 20, false), 30u);
  EXPECT_EQ(filler.GatherLeftMs(1000 + 256 + 20, true), 0u);
  EXPECT_EQ(filler.GatherLeftMs(1000 + 256 + 50, false), 0u);
  const unsigned char ack[] = {0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x16, 0x24, 0x4D};
  filler.AddFrame(ack, 10, 2000, handOver);
  const auto frame = filler.Batch().At(1);
  EXPECT_EQ(frame.kind, RecordKind::kFrame);
  EXPECT_EQ(frame.length, 10);
  EXPECT_EQ(frame.bytes[0], 0xB5);
  EXPECT_EQ(frame.bytes[9], 0x4D);
}

// The rate commands' expected writes, their checksums worked out here from
// the sentence's body, where no vector is published.
std::string Nmea(const std::string& body) {
  const std::string line = trelvane::testing::Sentence(body);
  return "write:" + line.substr(0, line.size() - 2);  // the link appends CR LF itself
}


// Each family's port rate, fix rate and save, as the log and the line get
// them; "" where the family cannot (the menu item is grey).
TYPED_TEST(LinkTextTest, EachFamilyWritesItsOwnRateCommands) {
  enum Job { kPort, kFix, kSave };
  struct Row {
    Family family;
    Job job;
    unsigned long value;  // a baud rate, or fixes a second
    std::string events;
  };
  const std::string sent = "\r\n...sent\r\n";
  // The published vectors stand as published; Nmea() and Ubx() work out
  // the rest's checksums.
  const std::string kCfgCfg = "bytes:B5 62 06 09 0D 00 00 00 00 00 FF FF 00 00 00 00 00 00 03 1D AB";
  const Row rows[] = {
      {Family::kSirf, kPort, 115200, "log:$PSRF100" + sent + "|write:$PSRF100,1,115200,8,1,0*05"},
      {Family::kSirf, kPort, 230400, ""},
      {Family::kSirf, kFix, 5, "log:$PSRF103" + sent + "|write:$PSRF103,0,6,0,0*23"},
      {Family::kSirf, kFix, 1, "log:$PSRF103" + sent + "|write:$PSRF103,0,7,0,0*22"},
      {Family::kSirf, kFix, 2, ""},
      {Family::kSirf, kFix, 10, ""},
      {Family::kSirf, kSave, 0, ""},
      {Family::kMediaTek, kPort, 115200, "log:$PMTK251" + sent + "|write:$PMTK251,115200*1F"},
      {Family::kMediaTek, kPort, 921600, "log:$PMTK251" + sent + "|write:$PMTK251,921600*14"},
      {Family::kMediaTek, kPort, 1200, ""},
      {Family::kMediaTek, kFix, 10, "log:$PMTK220" + sent + "|write:$PMTK220,100*2F|write:$PMTK300,100,0,0,0,0*2C"},
      {Family::kMediaTek, kFix, 2, "log:$PMTK220" + sent + "|" + Nmea("PMTK220,500") + "|" + Nmea("PMTK300,500,0,0,0,0")},
      {Family::kMediaTek, kSave, 0, ""},
      {Family::kUblox8, kPort, 115200, ""},  // a poll first: see the next test
      {Family::kUblox8, kFix, 10, "log:UBX CFG-RATE" + sent + "|bytes:B5 62 06 08 06 00 64 00 01 00 01 00 7A 12"},
      {Family::kUblox8, kFix, 1, "log:UBX CFG-RATE" + sent + "|bytes:B5 62 06 08 06 00 E8 03 01 00 01 00 01 39"},
      {Family::kUblox8, kSave, 0, "log:UBX CFG-CFG" + sent + "|" + kCfgCfg},
      {Family::kUblox9, kPort, 115200,
       "log:UBX CFG-VALSET" + sent + "|bytes:B5 62 06 8A 0C 00 00 01 00 00 01 00 52 40 00 C2 01 00 F3 A5"},
      {Family::kUblox9, kFix, 5,
       "log:UBX CFG-VALSET" + sent + "|bytes:B5 62 06 8A 0A 00 00 01 00 00 01 00 21 30 C8 00 B5 81"},
      {Family::kUblox9, kSave, 0, "log:UBX CFG-CFG" + sent + "|" + kCfgCfg},  // what it holds, not the monitor's rate
      {Family::kCasic, kPort, 115200, "log:$PCAS01" + sent + "|write:$PCAS01,5*19"},
      {Family::kCasic, kPort, 9600, "log:$PCAS01" + sent + "|write:$PCAS01,1*1D"},
      {Family::kCasic, kPort, 230400, ""},
      {Family::kCasic, kFix, 10, "log:$PCAS02" + sent + "|write:$PCAS02,100*1E"},
      {Family::kCasic, kSave, 0, "log:$PCAS00" + sent + "|write:$PCAS00*01"},
      {Family::kAiroha, kPort, 115200, "log:$PAIR864" + sent + "|write:$PAIR864,0,0,115200*1B"},
      {Family::kAiroha, kFix, 1, "log:$PAIR050" + sent + "|write:$PAIR050,1000*12"},
      {Family::kAiroha, kSave, 0, "log:$PAIR513" + sent + "|write:$PAIR513*3D"},
      {Family::kUnknown, kPort, 115200, ""},
      {Family::kUnknown, kFix, 1, ""},
      {Family::kUnknown, kSave, 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(static_cast<int>(row.family)) + " job " + std::to_string(row.job) + " " +
                 std::to_string(row.value));
    RateCommand command;
    const bool built = row.job == kPort ? BuildPortRate(row.family, row.value, command)
                       : row.job == kFix ? BuildFixRate(row.family, static_cast<unsigned>(row.value), command)
                                         : BuildSave(row.family, command);
    Recorder<TypeParam> recorder;
    EXPECT_EQ(SendRateCommand(command, recorder, recorder), built ? 1 : 0);
    std::string events;
    for (const std::string& e : recorder.events) events += (events.empty() ? "" : "|") + e;
    EXPECT_EQ(events, row.events);
    EXPECT_EQ(built, !row.events.empty());
  }
}

// A u-blox 8's port rate: its UART1 setting is polled, and written back
// with the rate alone changed, whatever else it holds; an answer that is
// not UART1's setting writes nothing.
TEST(RateCommands, PortRateWritesBackThePolledSettingWithOnlyTheRate) {
  auto hex = [](const RateCommand& command) {
    std::string text;
    char two[4];
    for (int i = 0; i < command.parts[0].length; ++i) {
      std::snprintf(two, sizeof two, i == 0 ? "%02X" : " %02X", command.parts[0].bytes[i]);
      text += two;
    }
    return text;
  };
  RateCommand poll;
  BuildPortRatePoll(poll);
  EXPECT_EQ(hex(poll), "B5 62 06 00 01 00 01 08 22");  // as published
  auto answer = [](const std::vector<unsigned char>& payload) {
    std::vector<unsigned char> frame(6 + payload.size() + 2);
    const unsigned char head[6] = {0xB5, 0x62, 0x06, 0x00, static_cast<unsigned char>(payload.size()), 0};
    unsigned char a = 0, b = 0;
    for (std::size_t i = 0; i + 2 < frame.size(); ++i) {
      frame[i] = i < 6 ? head[i] : payload[i - 6];
      if (i >= 2) b = static_cast<unsigned char>(b + (a = static_cast<unsigned char>(a + frame[i])));
    }
    frame[frame.size() - 2] = a;
    frame[frame.size() - 1] = b;
    return frame;
  };
  // UART1's setting at 9600, 8N1, with its txReady, protocols in and out, and flags.
  auto setting = [](unsigned char ready0, unsigned char ready1, unsigned char in, unsigned char out,
                    unsigned char flags) {
    return std::vector<unsigned char>{1, 0, ready0, ready1, 0xD0, 0x08, 0, 0, 0x80, 0x25, 0, 0,
                                      in, 0, out, 0, flags, 0, 0, 0};
  };
  struct Case {
    const char* what;
    std::vector<unsigned char> frame;
    unsigned long baud;
    std::string written;  // "" for nothing
  } cases[] = {
      // UBX and NMEA in and out: the very frame published for 115200.
      {"UBX and NMEA only", answer(setting(0, 0, 3, 3, 0)), 115200,
       "B5 62 06 00 14 00 01 00 00 00 D0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 BC 5E"},
      {"an M8P rover: RTCM 3 in stays", answer(setting(0, 0, 0x23, 3, 0)), 115200,
       "B5 62 06 00 14 00 01 00 00 00 D0 08 00 00 00 C2 01 00 23 00 03 00 00 00 00 00 DC 5E"},
      {"a base: RTCM 3 out, its txReady and flags stay", answer(setting(0x0D, 0x0A, 3, 0x23, 2)), 460800,
       "B5 62 06 00 14 00 01 00 0D 0A D0 08 00 00 00 08 07 00 03 00 23 00 02 00 00 00 41 F8"},
      {"a short answer", answer(std::vector<unsigned char>(19, 1)), 115200, ""},
      {"USB's setting, not UART1's", answer({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 3, 0, 0, 0, 0, 0}), 115200, ""},
      {"an acknowledgement", {0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x00, 0x0E, 0x37}, 115200, ""},
  };
  for (const Case& c : cases) {
    RateCommand write;
    const bool built = BuildPortRateFromAnswer(c.frame.data(), static_cast<int>(c.frame.size()), c.baud, write);
    EXPECT_EQ(built ? hex(write) : "", c.written) << c.what;
  }
}

// A fix rate is offered while the port carries it under 80 % of its bytes a
// second, the load scaled from what the link measured at the fix rate in
// force (1,000 bytes a fix before anything is measured); a slower rate than
// the one in force is always carried.
TEST(RateCommands, FixRateStaysWithinThePortsBandwidth) {
  struct Case {
    unsigned long baud, bytesPerSecond;
    unsigned currentHz, hz;
    bool carried;
  } cases[] = {
      {460800, 16000, 10, 10, true},   // 16 kB/s of 36.9 kB/s
      {115200, 1600, 1, 10, false},    // 16 kB/s of 9.2 kB/s
      {115200, 1600, 1, 5, true},      // 8 kB/s
      {38400, 1600, 1, 2, false},      // 3,200 bytes a second of 3,072
      {9600, 0, 0, 1, true},           // the slowest rate never overloads what runs now
      {9600, 0, 0, 2, false},          // 2,000 assumed bytes a second of 768
      {230400, 0, 0, 10, true},        // 10,000 of 18,432
      {4800, 900, 2, 1, true},
      {0, 100, 1, 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CarriesFixRate(c.baud, c.bytesPerSecond, c.currentHz, c.hz), c.carried)
        << c.baud << " " << c.bytesPerSecond << " " << c.currentHz << " " << c.hz;
  }
}

}  // namespace

// A network receiver's address as the dialog and the command line take it.
TEST(NetworkSource, TcpAndUdpAddressesAndWhatIsRefused) {
  const struct {
    const char* text;
    bool ok, tcp;
    const char* host;
    unsigned port;
  } cases[] = {
      {"tcp://127.0.0.1:10110", true, true, "127.0.0.1", 10110},
      {"tcp://bridge.local:2000", true, true, "bridge.local", 2000},
      {"udp://:10110", true, false, "", 10110},
      {"udp://127.0.0.1:10110", true, false, "127.0.0.1", 10110},  // heard on that local address only
      {"tcp://:10110", false, false, "", 0},
      {"tcp://host:0", false, false, "", 0},
      {"tcp://host:65536", false, false, "", 0},
      {"tcp://host:10110/x", false, false, "", 0},
      {"tcp://host", false, false, "", 0},
      {"tcp://user@host:1", false, false, "", 0},
      {"http://host:80", false, false, "", 0},
      {"COM3:", false, false, "", 0},
  };
  for (const auto& c : cases) {
    NetworkSource narrow, wide;
    EXPECT_EQ(ParseNetworkSource(c.text, narrow), c.ok) << c.text;
    EXPECT_EQ(ParseNetworkSource(Widen<char16_t>(c.text).c_str(), wide), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(narrow.tcp, c.tcp) << c.text;
    EXPECT_STREQ(narrow.host, c.host) << c.text;
    EXPECT_EQ(narrow.port, c.port) << c.text;
    EXPECT_STREQ(wide.host, c.host) << c.text;
  }
  NetworkSource long_host;
  EXPECT_FALSE(ParseNetworkSource(("tcp://" + std::string(200, 'h') + ":1").c_str(), long_host));
}
