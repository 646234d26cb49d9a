// The stream lexer (lines and binary frames apart) and the family recogniser,
// fed real sentences with UBX, SiRF and RTCM 3 frames between and inside them, and
// noise that must cost no line today's cutter keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "nmea/build_policy.hpp"
#include "receiver/receiver_recogniser.hpp"
#include "stream/line_assembler.hpp"
#include "stream/stream_lexer.hpp"

namespace {

using namespace trelvane::stream;
using namespace trelvane::receiver;
using Bytes = std::string;

struct Cut {
  std::vector<std::string> lines;  // narrowed
  std::vector<Bytes> frames;
  int cuts = 0;
};

template <class Ch>
struct Collector {
  Cut cut;
  void OnLine(const Ch* line, int length) {
    EXPECT_EQ(line[length], Ch(0));
    std::string s;
    for (int n = 0; n < length; ++n) s.push_back(static_cast<char>(static_cast<unsigned>(line[n]) & 0xFFu));
    cut.lines.push_back(s);
  }
  bool OnLineCut() {
    ++cut.cuts;
    return true;
  }
  void OnFrame(const unsigned char* frame, int length) {
    cut.frames.emplace_back(reinterpret_cast<const char*>(frame), length);
  }
};

// Feeds `stream` in chunks of random sizes (1 = byte by byte), then ends the burst.
template <class Ch>
Cut Lex(const Bytes& stream, int maxChunk, unsigned seed = 7) {
  StreamLexer<Ch> lexer;
  Collector<Ch> sink;
  std::mt19937 random(seed);
  for (size_t at = 0; at < stream.size();) {
    const size_t n = std::min<size_t>(stream.size() - at, 1 + random() % maxChunk);
    lexer.Feed(reinterpret_cast<const unsigned char*>(stream.data() + at), static_cast<int>(n), sink);
    at += n;
  }
  lexer.EndOfBurst(sink);
  return sink.cut;
}

// What today's cutter makes of the same stream.
Cut CutAsToday(const Bytes& stream) {
  LineAssembler<char> cutter;
  Cut cut;
  for (unsigned char b : stream) {
    const auto step = cutter.Push(b);
    if (step == LineAssembler<char>::Step::kLine) cut.lines.emplace_back(cutter.Line(), cutter.LineLength());
    if (step == LineAssembler<char>::Step::kOverflow) ++cut.cuts;
  }
  return cut;
}

Bytes Ubx(int cls, int id, const Bytes& payload) {
  Bytes f = {'\xB5', '\x62', static_cast<char>(cls), static_cast<char>(id), static_cast<char>(payload.size() & 0xFF),
             static_cast<char>(payload.size() >> 8)};
  f += payload;
  unsigned a = 0, b = 0;
  for (size_t i = 2; i < f.size(); ++i) b = (b + (a = (a + static_cast<unsigned char>(f[i])) & 0xFF)) & 0xFF;
  return f + static_cast<char>(a) + static_cast<char>(b);
}

Bytes Sirf(const Bytes& payload) {
  unsigned sum = 0;
  for (unsigned char c : payload) sum = (sum + c) & 0x7FFF;
  return Bytes("\xA0\xA2", 2) + static_cast<char>(payload.size() >> 8) + static_cast<char>(payload.size() & 0xFF) +
         payload + static_cast<char>(sum >> 8) + static_cast<char>(sum & 0xFF) + "\xB0\xB3";
}

Bytes Rtcm3(const Bytes& payload) {
  unsigned char frame[trelvane::corrections::kMaxFrame];
  const int length = trelvane::corrections::BuildFrame(reinterpret_cast<const unsigned char*>(payload.data()),
                                                       static_cast<int>(payload.size()), frame);
  return Bytes(reinterpret_cast<const char*>(frame), static_cast<size_t>(length));
}

std::string Nmea(const std::string& body) {
  unsigned sum = 0;
  for (unsigned char c : body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

std::vector<std::string> CaptureLines() {
  std::ifstream file(TRELVANE_CAPTURE_DIR "/multi/ublox-neo-m9n-nmea.log", std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line) && lines.size() < 300) {
    if (line.empty() || line[0] != '$') continue;
    if (line.back() == '\r') line.pop_back();
    lines.push_back(line + "\r\n");
  }
  return lines;
}

template <class Ch>
class StreamLexerTest : public ::testing::Test {};
using CharTypes = ::testing::Types<char, trelvane::nmea::Utf16Unit>;
TYPED_TEST_SUITE(StreamLexerTest, CharTypes);

// A receiver answering binary commands between its sentences: every sentence
// comes out whole, every frame apart, whatever the chunking.
TYPED_TEST(StreamLexerTest, FramesBetweenSentencesCostNoSentence) {
  const std::vector<std::string> sentences = CaptureLines();
  ASSERT_GT(sentences.size(), 200u);
  const std::vector<Bytes> frames = {
      Ubx(0x05, 0x01, Bytes("\x06\x16", 2)),  // ACK-ACK CFG-SBAS
      Ubx(0x05, 0x00, Bytes("\x06\x8A", 2)),  // ACK-NAK CFG-VALSET
      Ubx(0x0A, 0x04, Bytes(100, '\0')),       // MON-VER sized
      Sirf(Bytes("\x02\x00\x0A\xB5\x62", 5)),  // a SiRF frame with UBX sync inside
      Ubx(0x01, 0x07, Bytes(92, '\xB5')),      // payload full of sync bytes
      Ubx(0x0A, 0x04, Bytes(1024, 'x')),       // the longest payload
      Rtcm3(Bytes("\x43\x50\x00\xD3\xB5", 5)),  // MSM4 head, sync bytes inside
      Rtcm3(Bytes(1023, '\xD3')),              // RTCM 3's longest payload
  };
  Bytes stream;
  std::vector<Bytes> expectedFrames;
  for (size_t n = 0; n < sentences.size(); ++n) {
    if (n % 7 == 3) {
      stream += frames[n % frames.size()];
      expectedFrames.push_back(frames[n % frames.size()]);
    }
    stream += sentences[n];
  }
  for (int chunk : {1, 5, 64, 700}) {
    const Cut cut = Lex<TypeParam>(stream, chunk);
    EXPECT_EQ(cut.lines, sentences) << chunk;
    EXPECT_EQ(cut.frames, expectedFrames) << chunk;
    EXPECT_EQ(cut.cuts, 0);
  }
}

// Noise full of sync bytes, false starts with long claimed lengths, broken
// checksums and a frame one byte short: the lines are exactly today's cutter's.
TYPED_TEST(StreamLexerTest, NoiseAndFalseStartsGiveTodaysLines) {
  const std::vector<std::string> sentences = CaptureLines();
  std::mt19937 random(21);
  const Bytes broken = Ubx(0x05, 0x01, Bytes("\x06\x16", 2)).substr(0, 9) + "\x4E";
  const Bytes falseStarts[] = {
      Bytes("\xB5\x62\x05\x01\xFF\x03", 6),  // a length too long
      Bytes("\xB5\x62\x01\x02\x40\x00", 6),  // 64 bytes claimed: swallows a sentence, then fails
      Bytes("\xA0\xA2\x00\x30", 4),          // SiRF, 48 bytes claimed, no B0 B3
      Bytes("\xA0\xA2\x80", 3),               // SiRF length above 15 bits
      broken,
      Bytes("\xB5\xB5\x62\xA0", 4),
      Ubx(0x05, 0x01, Bytes("\x06\x16", 2)).substr(0, 8),  // cut short
      Bytes("\xD3\x00\x40", 3),            // RTCM 3, 64 bytes claimed, no CRC holds
      Bytes("\xD3\xFC\x01", 3),            // RTCM 3's reserved bits set
      Rtcm3(Bytes("\x3E\xD0", 2)).substr(0, 6) + "\x01",  // a wrong CRC
  };
  constexpr int kFalseStarts = static_cast<int>(sizeof falseStarts / sizeof falseStarts[0]);
  Bytes stream;
  for (size_t n = 0; n < sentences.size(); ++n) {
    stream += falseStarts[random() % kFalseStarts];
    for (int k = static_cast<int>(random() % 6); k > 0; --k) stream += static_cast<char>(random() % 3 == 0 ? 0xB5 : random() % 256);
    // Some false starts land in the middle of a sentence.
    const std::string& s = sentences[n];
    if (n % 5 == 0) {
      stream += s.substr(0, 10) + falseStarts[n % kFalseStarts] + s.substr(10);
    } else {
      stream += s;
    }
  }
  stream += std::string(600, 'z') + "\n";  // an over-long line is cut as today
  const Cut today = CutAsToday(stream);
  for (int chunk : {1, 3, 256, 1 << 20}) {  // the last takes the stream whole: runs up to a full line
    const Cut cut = Lex<TypeParam>(stream, chunk, 5);
    EXPECT_EQ(cut.lines, today.lines) << chunk;
    EXPECT_EQ(cut.cuts, today.cuts);
    EXPECT_TRUE(cut.frames.empty());
  }
}

// A candidate still held when the stream pauses goes to line assembly
// before the partial line is dropped: the sentences it held come out.
TEST(StreamLexer, PauseReleasesAHeldCandidate) {
  StreamLexer<char> lexer;
  Collector<char> sink;
  const Bytes stream = Bytes("\xB5\x62\x01\x02\x00\x04", 6) + "$GPTXT,01,01,02,held*00\r\npartial";
  lexer.Feed(reinterpret_cast<const unsigned char*>(stream.data()), static_cast<int>(stream.size()), sink);
  EXPECT_TRUE(sink.cut.lines.empty());
  EXPECT_GT(lexer.Held(), 0);
  EXPECT_EQ(lexer.Pending(), static_cast<int>(stream.size()));
  lexer.EndOfBurst(sink);
  ASSERT_EQ(sink.cut.lines.size(), 1u);
  EXPECT_EQ(sink.cut.lines[0], Bytes("\xB5\x62\x01\x02\x00\x04", 6) + "$GPTXT,01,01,02,held*00\r\n");
  EXPECT_EQ(lexer.Held(), 0);
  EXPECT_EQ(lexer.Pending(), 0);
}

// The desktop reader ends its attempt at an over-long line: Feed stops after
// the byte that overflowed, and the rest of the chunk stays with the caller.
TEST(StreamLexer, FeedStopsAtACutWhenTheSinkSaysSo) {
  struct StopAtCut : Collector<char> {
    bool OnLineCut() {
      ++cut.cuts;
      return false;
    }
  } sink;
  StreamLexer<char> lexer;
  const Bytes stream = std::string(520, 'x') + "\n$GPTXT,ok*00\r\n";
  const auto* data = reinterpret_cast<const unsigned char*>(stream.data());
  const int taken = lexer.Feed(data, static_cast<int>(stream.size()), sink);
  EXPECT_EQ(taken, 512);  // 511 stored, the 512th overflowed
  EXPECT_EQ(sink.cut.cuts, 1);
  lexer.Feed(data + taken, static_cast<int>(stream.size()) - taken, sink);
  EXPECT_EQ(sink.cut.lines, (std::vector<std::string>{std::string(8, 'x') + "\n", "$GPTXT,ok*00\r\n"}));
}

Bytes MonVer(const std::vector<std::string>& texts) {
  Bytes payload;
  auto field = [&](const std::string& t, size_t width) { payload += t + Bytes(width - t.size(), '\0'); };
  field(texts[0], 30);
  field(texts[1], 10);
  for (size_t n = 2; n < texts.size(); ++n) field(texts[n], 30);
  return Ubx(0x0A, 0x04, payload);
}

// What each family sends, fed in order: the family and the name after it.
TEST(ReceiverRecogniser, EachFamilyIsToldByItsOwnSignals) {
  struct Case {
    std::vector<std::string> lines;  // a line, or "frame:" and a UBX frame
    Family family;
    std::string name;
  } cases[] = {
      {{"$GPRMC,,V,,,,,,,,,,N*53\r\n"}, Family::kUnknown, ""},
      {{"$PSRF150,1*3E\r\n"}, Family::kSirf, "SiRF"},
      {{"$PMTK011,MTKGPS*08\r\n", "$PMTK010,001*2E\r\n"}, Family::kMediaTek, "MediaTek"},
      {{Nmea("PMTK705,AXN_5.1.7_3333_18021200,0005,PA1010D,1.0")}, Family::kMediaTek,
       "MediaTek PA1010D, FW AXN_5.1.7_3333_18021200"},
      {{"$PMTK001,313,3*31\r\n"}, Family::kMediaTek, "MediaTek"},
      {{"$GPTXT,01,01,02,MA=CASIC*27\r\n", Nmea("GPTXT,01,01,02,SW=V2.3.1"), Nmea("GPTXT,01,01,02,MO=GB")},
       Family::kCasic, "CASIC GB, FW V2.3.1"},
      {{"$GPTXT,01,01,01,ANTENNA OK*35\r\n", "frame:" + Ubx(0x05, 0x01, Bytes("\x06\x16", 2))}, Family::kCasic,
       "CASIC"},
      {{Nmea("PAIR020,AG3352Q_V2.5.0.AG3352_20230420")}, Family::kAiroha, "Airoha, FW AG3352Q_V2.5.0.AG3352_20230420"},
      {{Nmea("PQTMVER,1,MODULE,LC29HAANR11A03S,2023/03/08,14:39:58")}, Family::kAiroha, "Airoha LC29HAANR11A03S"},
      {{Nmea("GNTXT,01,01,02,u-blox AG - www.u-blox.com"), Nmea("GNTXT,01,01,02,HW UBX-M8030 00080000"),
        Nmea("GNTXT,01,01,02,PROTVER=18.00"), Nmea("GNTXT,01,01,02,MOD=NEO-M8N-0")},
       Family::kUblox8, "u-blox 6/7/8 NEO-M8N-0"},
      {{Nmea("GNTXT,01,01,02,u-blox AG - www.u-blox.com"), Nmea("GNTXT,01,01,02,FWVER=SPG 4.04"),
        Nmea("GNTXT,01,01,02,PROTVER=32.01"), Nmea("GNTXT,01,01,02,MOD=NEO-M9N")},
       Family::kUblox9, "u-blox 9/10 NEO-M9N, FW SPG 4.04"},
      {{"frame:" + Ubx(0x05, 0x01, Bytes("\x06\x16", 2))}, Family::kUblox8, "u-blox 6/7/8"},
      {{"frame:" + MonVer({"ROM SPG 5.10 (7b202e)", "000A0000", "FWVER=SPG 5.10", "PROTVER=34.10", "MOD=MAX-M10S"})},
       Family::kUblox9, "u-blox 9/10 MAX-M10S, FW SPG 5.10"},
      // A MediaTek followed by a u-blox on the same port: the MediaTek's model goes.
      {{"$PMTK001,313,3*31\r\n", "frame:" + Ubx(0x05, 0x00, Bytes("\x06\x01", 2))}, Family::kUblox8, "u-blox 6/7/8"},
      // A damaged checksum is no signal.
      {{"$PMTK010,001*2F\r\n"}, Family::kUnknown, ""},
  };
  for (const Case& c : cases) {
    ReceiverRecogniser recogniser;
    for (const std::string& line : c.lines) {
      if (line.compare(0, 6, "frame:") == 0) {
        recogniser.OnFrame(reinterpret_cast<const unsigned char*>(line.data() + 6), static_cast<int>(line.size() - 6));
      } else {
        const std::wstring wide(line.begin(), line.end());
        recogniser.OnLine(wide.c_str(), static_cast<int>(wide.size()));
      }
    }
    EXPECT_EQ(recogniser.Recognised(), c.family) << c.lines[0];
    EXPECT_EQ(std::string(recogniser.Name()), c.name) << c.lines[0];
    recogniser.Forget();
    EXPECT_EQ(recogniser.Recognised(), Family::kUnknown);
    EXPECT_EQ(std::string(recogniser.Name()), "");
  }
}

}  // namespace
