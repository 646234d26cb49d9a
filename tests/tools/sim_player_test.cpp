// The simulated receiver's portable part: cutting a capture into fix cycles,
// the wire-rate schedule (run on a made-up clock) and its following of a new
// port or fix rate, cutting what the monitor writes back into lines, the
// noise mixed into a capture, and the personas' answers to their families'
// commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recording/fix_cycles.hpp"
#include "stream/line_assembler.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"
#include "tools/sim/capture_player.hpp"
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
      link::FixCycleFinder finder;
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
  for (const Case& c : cases) EXPECT_EQ(link::StartsFixCycle(c.line), c.starts) << c.line;
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
  link::LineAssembler<char> reader;
  testing::Monitor<nmea::DesktopBuild> monitor;
  std::vector<std::string> taken;
  for (char byte : wire) {
    if (reader.Push(static_cast<unsigned char>(byte)) != link::LineAssembler<char>::Step::kLine) continue;
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
  link::StreamLexer<char> lexer;
  lexer.Feed(reinterpret_cast<const unsigned char*>(wire.data()), static_cast<int>(wire.size()), sink);
  return sink.lines;
}

std::vector<std::string> CutterLines(const std::string& wire) {
  link::LineAssembler<char> cutter;
  std::vector<std::string> lines;
  for (char byte : wire) {
    const auto step = cutter.Push(static_cast<unsigned char>(byte));
    if (step == link::LineAssembler<char>::Step::kLine) lines.emplace_back(cutter.Line(), cutter.LineLength());
    if (step == link::LineAssembler<char>::Step::kOverflow) lines.emplace_back("<cut>");
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

}  // namespace
}  // namespace trelvane::sim
