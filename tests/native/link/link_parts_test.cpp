// The portable pieces of the receiver link: port names cut from list items,
// the baud table, the command table with its echo, and sentence framing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/line_batch.hpp"
#include "link/link_settings.hpp"
#include "link/port_name.hpp"
#include "link/receiver_commands.hpp"
#include "link/sentence_frame.hpp"
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
  const unsigned long expected[] = {1200, 2400, 4800, 9600, 14400, 38400, 57600, 115200};
  ASSERT_EQ(kBaudCount, 8);
  for (int i = 0; i < kBaudCount; ++i) EXPECT_EQ(BaudRateAt(i), expected[i]);
  EXPECT_EQ(BaudRateAt(-1), 0u);
  EXPECT_EQ(BaudRateAt(8), 0u);
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
