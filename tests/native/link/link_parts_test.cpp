// The portable pieces of the receiver link: port names cut from list items,
// the baud table, the command table with its echo, and sentence framing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/line_batch.hpp"
#include "link/link_health.hpp"
#include "link/link_settings.hpp"
#include "link/port_name.hpp"
#include "link/receiver_commands.hpp"
#include "link/sentence_frame.hpp"
#include "link/sentence_spotter.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/sentence_intake.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane::link;
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
  EXPECT_EQ(FindReceiverCommand(kMsgNmeaLine), nullptr);
  EXPECT_EQ(FindReceiverCommand(kMsgGdiCensus), nullptr);
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
      {"closed", true, {{1000, 480, 0, 8, 0}}, "Closed", "0 sentences/s, 0 bytes/s, 0 bad checksums, 0 lines cut"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LinkHealth health;
    health.Open(0);
    for (const Step& step : row.steps) {
      for (int i = 0; i < step.accepted; ++i) health.CountAccepted();
      for (int i = 0; i < step.rejected; ++i) health.CountRejected();
      health.Sample(step.ms, step.bytes, step.linesCut);
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
  wrapped.CountAccepted();
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
  while (batch.Add(RecordKind::kLine, line.c_str(), 511)) ++added;
  EXPECT_EQ(added, LineBatch<char>::kCapacityUnits / 512);
  EXPECT_FALSE(batch.Add(RecordKind::kLine, line.c_str(), 511));
  EXPECT_EQ(batch.Count(), added);

  batch.Clear();
  for (int i = 0; i < LineBatch<char>::kMaxRecords; ++i) ASSERT_TRUE(batch.Add(RecordKind::kLine, "\n", 1));
  EXPECT_FALSE(batch.Add(RecordKind::kLine, "\n", 1));

  batch.Clear();
  const std::string lines[] = {"$GPTXT,1*00\r\n", "\r\n", "$GPTXT,3*00\r\n"};
  for (const std::string& text : lines) batch.Add(RecordKind::kLine, text.c_str(), static_cast<int>(text.size()));
  batch.Add(RecordKind::kFrame, "\xB5\x62", 2);
  std::vector<std::string> seen;
  int frames = 0;
  size_t closeAfter = 2;  // the handler closes the link after this many lines
  auto onLine = [&](const char* text) {
    seen.push_back(text);
    closed = seen.size() == closeAfter;
  };
  EXPECT_EQ(DeliverBatch(batch, onLine, [&](const char*, int) { ++frames; }), 2);
  EXPECT_EQ(seen, std::vector<std::string>(lines, lines + 2));
  closed = false;
  closeAfter = 0;
  seen.clear();
  EXPECT_EQ(DeliverBatch(batch, onLine, [&](const char* text, int length) { frames += length == 2 && text[2] == 0; }), 4);
  EXPECT_EQ(frames, 1);
}

}  // namespace
