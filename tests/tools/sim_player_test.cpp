// The simulated receiver's portable part: cutting a capture into fix cycles,
// the wire-rate schedule (run on a made-up clock) and its following of a new
// port or fix rate, cutting what the monitor writes back into lines, the
// noise mixed into a capture, and the personas' answers to their families'
// commands, rate commands included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "recording/fix_cycles.hpp"
#include "stream/line_assembler.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"
#include "tools/sim/capture_player.hpp"
#include "tools/sim/fix_times.hpp"
#include "tools/sim/noise.hpp"
#include "tools/sim/receiver_persona.hpp"

namespace trelvane::sim {
namespace {

// The start of a real capture (nd-1005.log), with some lines ended by LF
// alone, a note between data lines, and no line end after the last line.
constexpr char kSnippet[] =
    "# Name: Globalsat ND-1005\n"
    "# Chipset: SiRF-3\r\n"
    "$GPGGA,110518.000,5709.8067,N,00207.2822,W,1,08,1.0,59.3,M,48.2,M,,0000*77\r\n"
    "$GPGLL,5709.8067,N,00207.2822,W,110518.000,A,A*4A\n"
    "$GPGSA,A,3,23,04,20,31,32,17,13,24,,,,,2.1,1.0,1.8*3F\r\n"
    "$GPRMC,110518.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*65\r\n"
    "$GPVTG,,T,,M,0.00,N,0.0,K,A*13\n"
    "# Notes: Unit stationary.\n"
    "\n"
    "$GPRMC,110519.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*64\n"
    "$GPVTG,,T,,M,0.00,N,0.0,K,A*13";

TEST(SimCapture, CutsARealCaptureIntoFixCycles) {
  Capture capture;
  capture.Load(kSnippet);
  const std::vector<std::string> expected = {
      "$GPGGA,110518.000,5709.8067,N,00207.2822,W,1,08,1.0,59.3,M,48.2,M,,0000*77\r\n"
      "$GPGLL,5709.8067,N,00207.2822,W,110518.000,A,A*4A\r\n"
      "$GPGSA,A,3,23,04,20,31,32,17,13,24,,,,,2.1,1.0,1.8*3F\r\n",
      "$GPRMC,110518.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*65\r\n"
      "$GPVTG,,T,,M,0.00,N,0.0,K,A*13\r\n",
      "$GPRMC,110519.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*64\r\n"
      "$GPVTG,,T,,M,0.00,N,0.0,K,A*13\r\n",
  };
  ASSERT_EQ(capture.CycleCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(capture.Cycle(i), expected[i]) << "cycle " << i;
}

TEST(SimCapture, StartsWithRmcOrHasNothingToSend) {
  Capture capture;
  capture.Load("$GPRMC,1*00\r\n$GPGSA,2*00\r\n$GPRMC,3*00\r\n");
  ASSERT_EQ(capture.CycleCount(), 2u);  // no empty cycle before the first RMC
  EXPECT_EQ(capture.Cycle(0), "$GPRMC,1*00\r\n$GPGSA,2*00\r\n");
  capture.Load("# only notes\r\n#\n\r\n");
  EXPECT_EQ(capture.CycleCount(), 0u);
}

// The player cuts cycles line by line after dropping notes; the playback
// cuts a recording's raw bytes as they stream past. Both must agree on every
// bundled capture, whatever the pieces the bytes arrive in.
struct BoundarySink {
  std::vector<std::uint64_t> offsets{0};
  void OnCycleStart(std::uint64_t offset) { offsets.push_back(offset); }
};

// The lines of raw bytes as the player sends them: notes and empty lines
// dropped, each line ended in CR LF.
std::string AsSent(std::string_view raw) {
  Capture one;
  one.Load(raw);
  std::string sent;
  for (std::size_t i = 0; i < one.CycleCount(); ++i) sent += one.Cycle(i);
  return sent;
}

TEST(SimCapture, CutsCyclesWhereThePlaybackCutsThem) {
  const char* const files[] = {"nd-1005.log", "quectel.log", "gp-320fw-2019-04-07-coldboot.log",
                               "multi/bu353-glonass.log", "multi/sirfstarv-nmea.log", "multi/neo-m8n.log", nullptr};
  // Notes and empty lines before the first RMC make no cycle of their own.
  const std::string madeUp = "# note\r\n\r\n$GPRMC,1*00\r\n$GPGSA,2*00\n#\n$GNRMC,3*00";
  for (const char* name : files) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      SCOPED_TRACE(std::string(name ? name : "made up") + " in pieces of " + std::to_string(piece));
      std::string raw = madeUp;
      char why[128];
      if (name != nullptr) {
        ASSERT_TRUE(ReadWholeFile((std::string(TRELVANE_CAPTURE_DIR "/") + name).c_str(), raw, why, sizeof why)) << why;
      }
      Capture capture;
      capture.Load(raw);
      recording::FixCycleFinder finder;
      BoundarySink starts;
      const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
      for (std::size_t at = 0; at < raw.size(); at += piece) finder.Feed(bytes + at, std::min(piece, raw.size() - at), starts);
      finder.Finish(starts);
      ASSERT_EQ(starts.offsets.size(), capture.CycleCount());
      EXPECT_GT(finder.CycleLines(), 0u);
      starts.offsets.push_back(raw.size());
      for (std::size_t i = 0; i < capture.CycleCount(); ++i) {
        const std::string_view cycle(raw.data() + starts.offsets[i], starts.offsets[i + 1] - starts.offsets[i]);
        EXPECT_EQ(AsSent(cycle), capture.Cycle(i)) << "cycle " << i;
      }
    }
  }
}

TEST(SimCapture, TheCycleRuleLineByLine) {
  struct Case {
    const char* line;
    bool starts;
  };
  const Case cases[] = {
      {"$GPRMC,110518.000,A,5709.8067,N,00207.2822,W,0.00,,140311,,,A*65", true},
      {"$GNRMC,1*00\r", true},
      {"$BDRMC,1*00", true},
      {"xx$GPRMC,1*00", true},         // garbage before the sentence: the intake finds it too
      {"xx$GNRMC,1*00", false},        // another talker's RMC counts at the line's start only
      {"$GP$GPRMC,1", true},           // a broken sentence restarts the search at its '$'
      {"$GNRM", false},
      {"$GPGGA,110518.000,5709.8067,N*77", false},
      {"# $GPRMC in a note", false},
      {"", false},
      {"\r", false},
  };
  for (const Case& c : cases) EXPECT_EQ(recording::StartsFixCycle(c.line), c.starts) << c.line;
}

TEST(SimPacing, WireTimeFollowsTheBaudRate) {
  struct Case {
    unsigned long baud;
    std::size_t bytes;
    unsigned long bytesPerSecond;
    std::int64_t micros;
    std::size_t chunk;
  };
  const Case cases[] = {
      {4800, 480, 480, 1000000, 9},
      {4800, 1, 480, 2084, 9},  // 2083.3 µs rounds up
      {57600, 5760, 5760, 1000000, 115},
      {14400, 960, 1440, 666667, 28},
      {300, 3, 30, 100000, 1},           // under 50 bytes a second: a byte at a time
      {4000000, 400000, 400000, 1000000, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    EXPECT_EQ(WireBytesPerSecond(c.baud), c.bytesPerSecond);
    EXPECT_EQ(WireMicros(c.bytes, c.baud), c.micros);
    EXPECT_EQ(ChunkBytes(c.baud), c.chunk);
  }
}

struct Write {
  std::int64_t at;
  std::string bytes;
};

// Runs a player on a made-up clock that wakes exactly when asked, until it is
// done or `endMicros`. The device takes at most `take` bytes a write; `stallAt`
// delays one wake-up by `stallMicros`.
std::vector<Write> Play(Player& player, std::int64_t endMicros, std::int64_t* doneAt = nullptr,
                        std::size_t take = 1 << 20, std::int64_t stallAt = -1, std::int64_t stallMicros = 0) {
  std::vector<Write> writes;
  std::int64_t now = 0;
  player.Start(now);
  while (now < endMicros) {
    const Action action = player.Next(now);
    if (action.kind == Action::Kind::kDone) {
      if (doneAt != nullptr) *doneAt = now;
      break;
    }
    if (action.kind == Action::Kind::kWait) {
      EXPECT_GT(action.untilMicros, now);
      now = action.untilMicros;
      if (stallAt >= 0 && now >= stallAt) {
        now += stallMicros;
        stallAt = -1;
      }
      continue;
    }
    const std::size_t n = std::min(action.size, take);
    writes.push_back({now, std::string(action.data, n)});
    player.Wrote(n, now);
    if (n == 0) now += 1000;
  }
  return writes;
}

// When each cycle's first byte was written: a write that begins with "$GPRMC".
std::vector<std::int64_t> CycleStarts(const std::vector<Write>& writes) {
  std::vector<std::int64_t> starts;
  for (const Write& w : writes) {
    if (w.bytes.rfind("$GPRMC", 0) == 0) starts.push_back(w.at);
  }
  return starts;
}

std::string Joined(const std::vector<Write>& writes) {
  std::string all;
  for (const Write& w : writes) all += w.bytes;
  return all;
}

// Three 100-byte cycles (each RMC line is 98 bytes plus CR LF).
std::string ShortCycles() {
  std::string text;
  for (char c = '1'; c <= '3'; ++c) text += "$GPRMC," + std::string(88, c) + "*00\r\n";
  return text;
}

std::string AllCycles(const Capture& capture) {
  std::string all;
  for (std::size_t i = 0; i < capture.CycleCount(); ++i) all += capture.Cycle(i);
  return all;
}

TEST(SimPlayer, ShortCyclesStartOneSecondApartAndRepeat) {
  Capture capture;
  capture.Load(ShortCycles());
  Player player(capture, 4800, /*fast=*/false, /*once=*/false);
  const std::vector<Write> writes = Play(player, 4500000);
  EXPECT_EQ(CycleStarts(writes), (std::vector<std::int64_t>{0, 1000000, 2000000, 3000000, 4000000}));
  EXPECT_EQ(Joined(writes).substr(300, 100), capture.Cycle(0)) << "the fourth cycle is the first again";
  // Within a burst the writes hold the wire rate, one chunk ahead of it.
  for (const Write& w : writes) {
    const std::int64_t inCycle = w.at % 1000000;
    const std::size_t before = static_cast<std::size_t>(inCycle * 480 / 1000000);
    EXPECT_LE(w.bytes.size(), ChunkBytes(4800));
    EXPECT_LE(inCycle, WireMicros(100, 4800));
    EXPECT_LE(w.bytes.size() + before, 100u);
  }
}

// A 1 Hz capture played as a 10 Hz receiver: every fix time hhmmss.ss, a
// tenth after the cycle before, across the capture's repeats; every
// sentence still valid and as long as counted; a spoiled one left spoiled.
TEST(SimPlayer, GivesEachCycleItsOwnFixTimeAtTheFixRate) {
  const std::string spoiled = "$GPGGA,110519,5709.8067,N,00207.2822,W,1,08,1.0,59.3,M,48.2,M,,0000*00\r\n";
  Capture plain, timed;
  plain.Load(std::string(kSnippet) + "\n" + spoiled);
  timed.Load(std::string(kSnippet) + "\n" + spoiled, NoiseSettings{}, /*hundredths=*/true);
  EXPECT_EQ(timed.Sentences().valid, plain.Sentences().valid);
  Player player(timed, 115200, /*fast=*/false, /*once=*/false);
  player.SetFixRate(10);
  player.GiveFixTimes();
  const std::string wire = Joined(Play(player, 450000));
  std::vector<std::uint32_t> times;
  std::size_t valid = 0, lines = 0;
  for (std::size_t start = 0, end; (end = wire.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = wire.substr(start, end + 1 - start);
    ++lines;
    valid += ValidSentence(line);
    std::uint32_t cs = 0;
    std::size_t at = 0, length = 0;
    if (!ValidSentence(line) || !ReadFixTime(line, cs)) continue;
    times.push_back(cs - 3991800);  // from 11:05:18.00
    EXPECT_TRUE(FixTimeField(line, at, length) && length == 9 && line[at + 6] == '.') << line;
  }
  // GGA and GLL of the lines before the first RMC, then one RMC a cycle;
  // the fifth cycle is the first again.
  EXPECT_EQ(times, (std::vector<std::uint32_t>{0, 0, 10, 20, 30, 30, 40}));
  EXPECT_EQ(valid, lines - 1) << "only the spoiled GGA is not a sentence";
  EXPECT_NE(wire.find(spoiled), std::string::npos) << "the spoiled GGA was changed";
}

TEST(SimPlayer, ALongBurstIsFollowedAtOnceAndOnceEndsOffTheWire) {
  // 960 bytes take 2 s at 4800: the next cycle starts when the wire is free.
  Capture capture;
  capture.Load("$GPRMC," + std::string(951, 'x') + "\r\n" + ShortCycles());
  Player player(capture, 4800, false, /*once=*/true);
  std::int64_t doneAt = 0;
  const std::vector<Write> writes = Play(player, 10000000, &doneAt);
  const std::vector<std::int64_t> starts = CycleStarts(writes);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts[1], 2000000 - WireMicros(ChunkBytes(4800), 4800));  // queued a chunk ahead
  EXPECT_EQ(starts[2], 3000000);
  EXPECT_EQ(starts[3], 4000000);
  EXPECT_EQ(doneAt, 4000000 + WireMicros(100, 4800));
  EXPECT_EQ(Joined(writes), AllCycles(capture));  // all of it, once, in order
}

TEST(SimPlayer, FastRunsAtTheWireRateAndSurvivesShortWrites) {
  Capture capture;
  capture.Load(ShortCycles());
  for (std::size_t take : {std::size_t{1000}, std::size_t{4}}) {
    SCOPED_TRACE(take);
    Player player(capture, 4800, /*fast=*/true, /*once=*/true);
    std::int64_t doneAt = 0;
    const std::vector<Write> writes = Play(player, 2000000, &doneAt, take);
    EXPECT_EQ(Joined(writes), AllCycles(capture));
    EXPECT_GE(doneAt, WireMicros(300, 4800));
    EXPECT_LE(doneAt, WireMicros(300, 4800) + 2000);
  }
}

TEST(SimPlayer, AStallMovesTheScheduleInsteadOfBunchingCycles) {
  Capture capture;
  capture.Load(ShortCycles());
  Player player(capture, 4800, false, false);
  const std::vector<Write> writes = Play(player, 5000000, nullptr, 1 << 20, 900000, 1500000);
  // The wake-up due at 1 s comes at 2.5 s: the second cycle starts then, the third a second later.
  const std::vector<std::int64_t> starts = CycleStarts(writes);
  ASSERT_GE(starts.size(), 3u);
  EXPECT_EQ(starts[1], 2500000);
  EXPECT_EQ(starts[2], 3500000);
}

TEST(SimReplies, CutsLinesAcrossReadsAndDropsTheLineEnd) {
  struct Case {
    std::vector<std::string> reads;
    std::vector<std::string> lines;
  };
  const std::string longLine(300, 'L');
  const Case cases[] = {
      {{"$PSRF103,05,00,01,01*20\r\n"}, {"$PSRF103,05,00,01,01*20"}},
      {{"$PSRF10", "3,05,00,01,0", "1*20\r", "\n"}, {"$PSRF103,05,00,01,01*20"}},
      {{"$PSRF100,1*01\r\n$PSRF101,2*02\r\n$PSRF1"}, {"$PSRF100,1*01", "$PSRF101,2*02"}},
      {{"\r\n", "\n", "A\n"}, {"A"}},  // empty lines are not reported
      {{longLine + "\r\n"}, {std::string(256, 'L'), std::string(44, 'L')}},
  };
  for (const Case& c : cases) {
    ReplyLines cutter;
    std::vector<std::string> lines;
    for (const std::string& read : c.reads) {
      for (char byte : read) {
        if (cutter.Push(byte)) lines.emplace_back(cutter.Line());
      }
    }
    EXPECT_EQ(lines, c.lines);
  }
}

// The lines a real capture sends, CR LF included, in order.
std::vector<std::string> WireLines(const std::string& wire) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < wire.size();) {
    const std::size_t end = wire.find("\r\n", pos) + 2;
    lines.push_back(wire.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

// The lines the desktop monitor's reader cuts from `wire` and its sentence
// intake accepts.
std::vector<std::string> MonitorTakes(const std::string& wire) {
  stream::LineAssembler<char> reader;
  testing::Monitor<nmea::DesktopBuild> monitor;
  std::vector<std::string> taken;
  for (char byte : wire) {
    if (reader.Push(static_cast<unsigned char>(byte)) != stream::LineAssembler<char>::Step::kLine) continue;
    const std::string line(reader.Line(), static_cast<std::size_t>(reader.LineLength()));
    if (monitor.Feed(line) == 1) taken.push_back(line);
  }
  return taken;
}

// Every line the stream lexer cuts from `wire`, and every line the line
// cutter alone cuts, in order; frames and cut lines are marked.
std::vector<std::string> LexerLines(const std::string& wire) {
  struct Sink {
    std::vector<std::string> lines;
    void OnLine(const char* line, int length) { lines.emplace_back(line, static_cast<std::size_t>(length)); }
    bool OnLineCut() {
      lines.emplace_back("<cut>");
      return true;
    }
    void OnFrame(const unsigned char*, int) { lines.emplace_back("<frame>"); }
  } sink;
  stream::StreamLexer<char> lexer;
  lexer.Feed(reinterpret_cast<const unsigned char*>(wire.data()), static_cast<int>(wire.size()), sink);
  return sink.lines;
}

std::vector<std::string> CutterLines(const std::string& wire) {
  stream::LineAssembler<char> cutter;
  std::vector<std::string> lines;
  for (char byte : wire) {
    const auto step = cutter.Push(static_cast<unsigned char>(byte));
    if (step == stream::LineAssembler<char>::Step::kLine) lines.emplace_back(cutter.Line(), cutter.LineLength());
    if (step == stream::LineAssembler<char>::Step::kOverflow) lines.emplace_back("<cut>");
  }
  return lines;
}

TEST(SimNoise, MixesNoiseBetweenWholeSentencesAndMakesNoSentenceOfItsOwn) {
  struct Case {
    double rate;
    std::uint64_t seed;
  };
  const Case cases[] = {{0, 1}, {0.2, 1}, {0.2, 2}, {0.5, 7}, {0.9, 3}};
  std::string bytes;
  char why[200];
  ASSERT_TRUE(ReadWholeFile(TRELVANE_CAPTURE_DIR "/nd-1005.log", bytes, why, sizeof why)) << why;
  Capture plain;
  plain.Load(bytes);
  const std::vector<std::string> real = WireLines(AllCycles(plain));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "rate " << c.rate << " seed " << c.seed);
    Capture noisy;
    noisy.Load(bytes, NoiseSettings{c.rate, c.seed});
    const std::string wire = AllCycles(noisy);

    // Every real line goes out whole and in order, and the noise between them
    // takes about the share asked for.
    std::size_t pos = 0;
    for (const std::string& line : real) {
      pos = wire.find(line, pos);
      ASSERT_NE(pos, std::string::npos) << line;
      pos += line.size();
    }
    const double share = static_cast<double>(noisy.NoiseItems()) / static_cast<double>(noisy.NoiseItems() + real.size());
    EXPECT_NEAR(share, c.rate, 0.1);
    if (c.rate >= 0.5) {
      for (int k = 0; k < kNoiseKinds; ++k) EXPECT_GT(noisy.NoiseItems(static_cast<NoiseKind>(k)), 0u) << "kind " << k;
    }

    // The monitor takes real sentences only, in order, as many as counted whole.
    const std::vector<std::string> taken = MonitorTakes(wire);
    std::size_t next = 0;
    for (const std::string& line : taken) {
      while (next < real.size() && real[next] != line) ++next;
      ASSERT_LT(next, real.size()) << "taken but not sent as a real sentence: " << line;
      ++next;
    }
    EXPECT_EQ(noisy.Sentences().whole, taken.size());
    EXPECT_EQ(noisy.Sentences().valid, plain.Sentences().valid);
    EXPECT_EQ(c.rate == 0, noisy.Sentences().whole == noisy.Sentences().valid);
    // The readers' stream lexer, which also looks for binary frames in the
    // noise, cuts exactly the lines the line cutter alone cuts.
    EXPECT_EQ(LexerLines(wire), CutterLines(wire));

    // The same seed makes the same noise; a play counts what it sent.
    Capture again;
    again.Load(bytes, NoiseSettings{c.rate, c.seed});
    EXPECT_EQ(AllCycles(again), wire);
    Player player(noisy, 4000000, /*fast=*/true, /*once=*/true);
    Play(player, 1000000000);
    EXPECT_EQ(player.SentencesSent().valid, noisy.Sentences().valid);
    EXPECT_EQ(player.SentencesSent().whole, noisy.Sentences().whole);
  }
  EXPECT_EQ(plain.Sentences().valid, MonitorTakes(AllCycles(plain)).size());
  Capture otherSeed;
  otherSeed.Load(bytes, NoiseSettings{0.2, 2});
  Capture firstSeed;
  firstSeed.Load(bytes, NoiseSettings{0.2, 1});
  EXPECT_NE(AllCycles(otherSeed), AllCycles(firstSeed));
}

// A family-speaking receiver acts on its own family's commands, with its
// family's acknowledgement, and ignores another family's.
TEST(SimPersona, ActsOnItsFamilysCommandsOnly) {
  Persona mtk(Family::kMediaTek);
  const std::string first = mtk.NextCycle();
  EXPECT_NE(first.find("$GPVTG"), std::string::npos);
  EXPECT_NE(first.find(",46,38,210,33"), std::string::npos);  // an SBAS satellite in GSV
  std::string reply;
  EXPECT_EQ(mtk.OnLine("$PCAS03,,,,,,0*32", reply), "");  // CASIC's VTG off
  EXPECT_EQ(mtk.OnLine("$PMTK314,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0*2C", reply), "VTG off");
  EXPECT_EQ(mtk.OnLine("$PMTK313,0*2F", reply), "SBAS off");
  EXPECT_EQ(reply, "$PMTK001,314,3*36\r\n$PMTK001,313,3*31\r\n");
  EXPECT_EQ(mtk.OnLine("$PMTK103*30", reply), "cold start");
  for (int cycle = 0; cycle < 6; ++cycle) {
    const std::string lines = mtk.NextCycle();
    EXPECT_EQ(lines.find("$GPVTG"), std::string::npos);
    EXPECT_EQ(lines.find(",46,38,210,33"), std::string::npos);
    EXPECT_EQ(lines.find(",A,2503.7123") != std::string::npos, cycle == 5) << cycle;  // five cycles without fix
  }

  Persona ublox9(Family::kUblox9);
  reply.clear();
  const std::string valset("\xB5\x62\x06\x8A\x0E\x00\x00\x01\x00\x00\xB1\x00\x91\x20\x00\xB3\x00\x91\x20\x00\x65\x47", 22);
  EXPECT_EQ(ublox9.OnFrame(valset, reply), "VTG off");
  EXPECT_EQ(reply, UbxFrame(0x05, 0x01, std::string("\x06\x8A", 2)));
  EXPECT_FALSE(ublox9.Vtg());
  EXPECT_EQ(ublox9.OnLine("$PMTK103*30", reply), "");
}

// The monitor's side of the wire, checksummed by the tests' own helper
// rather than by the persona's: "$" + body + "*hh" as the persona hears it
// (CR LF stripped), and a UBX frame.
std::string Sentence(const std::string& body) {
  const std::string line = trelvane::testing::Sentence(body);
  return line.substr(0, line.size() - 2);
}

std::string Ubx(int cls, int id, const std::string& payload) {
  std::string frame = {'\xB5', '\x62', static_cast<char>(cls), static_cast<char>(id),
                       static_cast<char>(payload.size() & 0xFF), static_cast<char>(payload.size() >> 8)};
  frame += payload;
  unsigned char a = 0;
  unsigned char b = 0;
  for (std::size_t i = 2; i < frame.size(); ++i) {
    a = static_cast<unsigned char>(a + static_cast<unsigned char>(frame[i]));
    b = static_cast<unsigned char>(b + a);
  }
  return frame + static_cast<char>(a) + static_cast<char>(b);
}

std::string LittleEndian(unsigned long value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// CFG-PRT for UART1 at `baud` (8N1, UBX and NMEA in and out); CFG-RATE.
std::string CfgPrt(unsigned long baud) {
  return Ubx(0x06, 0x00, std::string("\x01\x00\x00\x00\xD0\x08\x00\x00", 8) + LittleEndian(baud, 4) +
                             std::string("\x03\x00\x03\x00\x00\x00\x00\x00", 8));
}
std::string CfgRate(unsigned periodMs) { return Ubx(0x06, 0x08, LittleEndian(periodMs, 2) + std::string("\x01\x00\x01\x00", 4)); }

// CFG-VALSET version 0 in `layers` of key/value pairs already laid out.
std::string Valset(int layers, const std::string& items) {
  return Ubx(0x06, 0x8A, std::string("\x00", 1) + static_cast<char>(layers) + std::string(2, '\0') + items);
}
std::string BaudItem(unsigned long baud) { return LittleEndian(0x40520001, 4) + LittleEndian(baud, 4); }
std::string PeriodItem(unsigned ms) { return LittleEndian(0x30210001, 4) + LittleEndian(ms, 2); }
std::string VtgItem(int on) { return LittleEndian(0x209100B1, 4) + static_cast<char>(on); }

std::string AckAck(int id) { return Ubx(0x05, 0x01, std::string("\x06", 1) + static_cast<char>(id)); }
std::string AckNak(int id) { return Ubx(0x05, 0x00, std::string("\x06", 1) + static_cast<char>(id)); }
std::string Answer(const std::string& body) { return trelvane::testing::Sentence(body); }

// Each family's port-rate command taken and ignored, its fix-rate command and
// its save, heard by a receiver at 9600 baud and 1 Hz: the answer (at the old
// rate: the persona only records the new one), what it names, and where its
// rates stand after.
TEST(SimPersona, ActsOnItsFamilysRateCommands) {
  struct Case {
    Family family;
    std::string command;  // a sentence without CR LF, or a frame
    std::string reply;
    std::string job;
    unsigned long baud;
    unsigned hz;
  };
  const std::string cfgCfg = Ubx(0x06, 0x09, std::string("\0\0\0\0\xFF\xFF\0\0\0\0\0\0\x03", 13));
  const Case cases[] = {
      {Family::kSirf, Sentence("PSRF100,1,38400,8,1,0"), "", "port rate 38400", 38400, 1},
      {Family::kSirf, Sentence("PSRF100,1,230400,8,1,0"), "", "port rate 230400 ignored", 9600, 1},
      {Family::kSirf, Sentence("PSRF103,0,6,0,0"), "", "fix rate 5 Hz", 9600, 5},
      {Family::kSirf, Sentence("PCAS00"), "", "", 9600, 1},  // no save
      {Family::kMediaTek, Sentence("PMTK251,115200"), Answer("PMTK001,251,3"), "port rate 115200", 115200, 1},
      {Family::kMediaTek, Sentence("PMTK251,921600"), "", "port rate 921600 ignored", 9600, 1},
      {Family::kMediaTek, Sentence("PMTK220,200"), Answer("PMTK001,220,3"), "fix rate 5 Hz", 9600, 5},
      {Family::kMediaTek, Sentence("PMTK300,200,0,0,0,0"), Answer("PMTK001,300,3"), "position fix interval 200 ms",
       9600, 1},
      {Family::kMediaTek, Sentence("PAIR513"), "", "", 9600, 1},  // no save
      {Family::kUblox8, CfgPrt(460800), AckAck(0x00), "port rate 460800", 460800, 1},
      {Family::kUblox8, CfgPrt(14400), AckNak(0x00), "port rate 14400 ignored", 9600, 1},
      {Family::kUblox8, CfgRate(100), AckAck(0x08), "fix rate 10 Hz", 9600, 10},
      {Family::kUblox8, cfgCfg, AckAck(0x09), "save", 9600, 1},
      {Family::kUblox9, Valset(0x01, BaudItem(921600)), AckAck(0x8A), "port rate 921600", 921600, 1},
      {Family::kUblox9, Valset(0x01, BaudItem(14400)), AckNak(0x8A), "port rate 14400 ignored", 9600, 1},
      {Family::kUblox9, Valset(0x01, PeriodItem(500)), AckAck(0x8A), "fix rate 2 Hz", 9600, 2},
      {Family::kUblox9, Valset(0x06, BaudItem(115200) + PeriodItem(100)), AckAck(0x8A), "values stored", 9600, 1},
      {Family::kUblox9, cfgCfg, AckAck(0x09), "save", 9600, 1},  // the 9 and 10 still take CFG-CFG
      // Values of four, two and one bytes in one frame; one cut short.
      {Family::kUblox9, Valset(0x01, BaudItem(57600) + PeriodItem(200) + VtgItem(0)), AckAck(0x8A),
       "VTG off\nport rate 57600\nfix rate 5 Hz", 57600, 5},
      {Family::kUblox9, Valset(0x01, BaudItem(57600).substr(0, 6)), AckNak(0x8A), "", 9600, 1},
      {Family::kCasic, Sentence("PCAS01,5"), "", "port rate 115200", 115200, 1},
      {Family::kCasic, Sentence("PCAS01,6"), "", "port rate index 6 ignored", 9600, 1},
      {Family::kCasic, Sentence("PCAS02,100"), "", "fix rate 10 Hz", 9600, 10},
      {Family::kCasic, Sentence("PCAS00"), "", "save", 9600, 1},
      {Family::kAiroha, Sentence("PAIR864,0,0,230400"), Answer("PAIR001,864,0"), "port rate 230400", 230400, 1},
      {Family::kAiroha, Sentence("PAIR864,0,0,4800"), "", "port rate 4800 ignored", 9600, 1},
      {Family::kAiroha, Sentence("PAIR050,200"), Answer("PAIR001,050,0"), "fix rate 5 Hz", 9600, 5},
      {Family::kAiroha, Sentence("PAIR050,250"), "", "fix period 250 ms ignored", 9600, 1},
      {Family::kAiroha, Sentence("PAIR513"), Answer("PAIR001,513,0"), "save", 9600, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FamilyArgument(c.family)) + ": " + c.job);
    Persona persona(c.family, 9600, 1);
    std::string reply;
    const bool frame = c.command[0] == '\xB5';
    EXPECT_EQ(frame ? persona.OnFrame(c.command, reply) : persona.OnLine(c.command, reply), c.job);
    EXPECT_EQ(reply, c.reply);
    EXPECT_EQ(persona.PortRate(), c.baud);
    EXPECT_EQ(persona.FixRateHz(), c.hz);
  }
}

// The time of day of each cycle's RMC and GGA.
std::string CycleTime(const std::string& cycle, const char* address) {
  const std::size_t at = cycle.find(address);
  if (at == std::string::npos) return "none";
  const std::size_t from = cycle.find(',', at) + 1;
  return cycle.substr(from, cycle.find(',', from) - from);
}

// At N Hz each cycle has its own time to the hundredth; a new rate takes the
// next cycle, which falls on a whole multiple of the new period.
TEST(SimPersona, StampsEachCycleAtItsFixRate) {
  struct Case {
    unsigned hz;
    std::string periodAfterThree;  // a PMTK220 heard after three cycles, or ""
    std::vector<std::string> times;
  };
  const Case cases[] = {
      {10, "", {"120000.00", "120000.10", "120000.20", "120000.30", "120000.40"}},
      {5, "", {"120000.00", "120000.20", "120000.40", "120000.60", "120000.80"}},
      {2, "", {"120000.00", "120000.50", "120001.00", "120001.50", "120002.00"}},
      {1, "", {"120000.00", "120001.00", "120002.00", "120003.00", "120004.00"}},
      {10, "1000", {"120000.00", "120000.10", "120000.20", "120001.00", "120002.00"}},
      {1, "100", {"120000.00", "120001.00", "120002.00", "120003.00", "120003.10"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.hz << " Hz, then " << c.periodAfterThree);
    Persona persona(Family::kMediaTek, 9600, c.hz);
    std::vector<std::string> times;
    for (std::size_t i = 0; i < c.times.size(); ++i) {
      std::string reply;
      if (i == 3 && !c.periodAfterThree.empty()) persona.OnLine(Sentence("PMTK220," + c.periodAfterThree), reply);
      const std::string cycle = persona.NextCycle();
      EXPECT_EQ(CycleTime(cycle, "$GPGGA"), CycleTime(cycle, "$GPRMC"));
      times.push_back(CycleTime(cycle, "$GPRMC"));
    }
    EXPECT_EQ(times, c.times);
  }
}

// The player at a new fix rate starts its cycles that far apart, and after a
// new port rate sends the rest at the new rate's pace.
TEST(SimPlayer, FollowsANewFixRateAndPortRate) {
  struct Case {
    unsigned hz;
    unsigned long baud;
    std::vector<std::int64_t> starts;
  };
  const Case cases[] = {
      {10, 57600, {0, 100000, 200000, 300000, 400000}},
      {5, 57600, {0, 200000, 400000, 600000, 800000}},
      {2, 4800, {0, 500000, 1000000, 1500000, 2000000}},
      {10, 115200, {0, 100000, 200000, 300000, 400000, 500000}},
  };
  Capture capture;
  capture.Load(ShortCycles());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.hz << " Hz at " << c.baud);
    Player player(capture, c.baud, false, false);
    player.SetFixRate(c.hz);
    std::vector<std::int64_t> starts = CycleStarts(Play(player, c.starts.back() + 1));
    starts.resize(std::min(starts.size(), c.starts.size()));
    EXPECT_EQ(starts, c.starts);
  }

  // One 960-byte cycle: 2 s at 4800, or 1 s at 4800 and the rest in 0.5 s at 9600.
  capture.Load("$GPRMC," + std::string(951, 'x') + "\r\n");
  Player player(capture, 4800, false, /*once=*/true);
  WirePacer pacer(4800);
  std::int64_t now = 0;
  player.Start(now);
  for (Action action = player.Next(now); action.kind != Action::Kind::kDone; action = player.Next(now)) {
    if (now >= 1000000 && pacer.Chunk() == ChunkBytes(4800)) {
      player.SetBaud(9600);
      pacer.SetBaud(9600);
      continue;
    }
    if (action.kind == Action::Kind::kWait) {
      now = action.untilMicros;
      continue;
    }
    player.Wrote(action.size, now);
    pacer.Wrote(action.size, now);
    EXPECT_EQ(player.WireFree(), pacer.WireFree());  // the persona's pacing keeps the same wire
  }
  EXPECT_NEAR(static_cast<double>(now), 1500000.0, 2.0 * static_cast<double>(WireMicros(ChunkBytes(4800), 4800)));
  EXPECT_EQ(pacer.Chunk(), ChunkBytes(9600));
}

// A u-blox 8 set up as an RTK rover answers the poll of its port setting
// with RTCM 3 in; a write of that setting with only the rate changed keeps
// its corrections, one that leaves RTCM 3 out of it loses them and says so.
TEST(SimPersona, AnM8RoverKeepsRtcmInOnlyWhenTheWriteKeepsIt) {
  Persona rover(Family::kUblox8, 9600, 1);
  rover.TakeRtcmIn();
  std::string reply;
  EXPECT_EQ(rover.OnFrame(Ubx(0x06, 0x00, std::string("\x01", 1)), reply), "port setting polled");
  const std::string setting = std::string("\x01\x00\x00\x00\xD0\x08\x00\x00", 8) + LittleEndian(9600, 4) +
                              std::string("\x23\x00\x03\x00\x00\x00\x00\x00", 8);
  EXPECT_EQ(reply, Ubx(0x06, 0x00, setting) + AckAck(0x00));
  std::string kept = setting;
  kept.replace(8, 4, LittleEndian(115200, 4));
  EXPECT_EQ(rover.OnFrame(Ubx(0x06, 0x00, kept), reply), "port rate 115200");
  EXPECT_TRUE(rover.RtcmIn());
  EXPECT_EQ(rover.OnFrame(CfgPrt(38400), reply), "port rate 38400\nRTCM 3 in off");  // UBX and NMEA alone
  EXPECT_FALSE(rover.RtcmIn());
}

}  // namespace
}  // namespace trelvane::sim
