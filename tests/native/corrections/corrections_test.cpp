// Corrections from a caster: its answers in both protocol versions, cut
// anywhere; RTCM 3 frames found in a hostile stream, cut anywhere; the
// caster's table; the request; the waits between tries; the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "corrections/corrections_flow.hpp"
#include "corrections/gga_for_caster.hpp"
#include "corrections/ntrip_answer.hpp"
#include "corrections/ntrip_request.hpp"
#include "corrections/rtcm3_frames.hpp"
#include "corrections/source_table.hpp"

namespace tc = trelvane::corrections;
using Bytes = std::vector<unsigned char>;

namespace {

// A frame of message `type` with `extra` payload bytes after the type.
Bytes Frame(int type, int extra) {
  Bytes payload{static_cast<unsigned char>(type >> 4), static_cast<unsigned char>((type & 15) << 4)};
  for (int i = 0; i < extra; ++i) payload.push_back(static_cast<unsigned char>(i * 37 + type));
  Bytes frame(tc::kMaxFrame);
  frame.resize(static_cast<std::size_t>(tc::BuildFrame(payload.data(), static_cast<int>(payload.size()), frame.data())));
  return frame;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string Hex(std::size_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%zX", n);
  return text;
}

struct FrameSink {
  std::vector<Bytes> frames;
  void OnFrame(const unsigned char* f, int n) { frames.emplace_back(f, f + n); }
};

struct AnswerSink {
  Bytes data, table;
  void OnData(const unsigned char* b, std::size_t n) { data.insert(data.end(), b, b + n); }
  void OnTable(const unsigned char* b, std::size_t n) { table.insert(table.end(), b, b + n); }
};

}  // namespace

TEST(Rtcm3Frames, CrcOverAWholeFrameIsZeroAndTheTypeIsRead) {
  const Bytes frame = Frame(1077, 40);
  EXPECT_EQ(tc::Crc24q(frame.data(), frame.size()), 0u);
  EXPECT_EQ(tc::MessageType(frame.data(), static_cast<int>(frame.size())), 1077);
  // The check value of the 24-bit CRC for "123456789".
  EXPECT_EQ(tc::Crc24q(reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCDE703u);
}

// Whole frames come out, in order, however the stream is cut; a stray
// 0xD3, a frame cut short and a frame with a bad CRC cost only themselves.
TEST(Rtcm3Frames, OnlyWholeValidFramesComeOutAtEverySplit) {
  const Bytes a = Frame(1005, 17), b = Frame(1077, 300), d = Frame(1230, 5), f = Frame(1087, 1020);
  Bytes cut = Frame(1097, 200);
  cut.resize(90);  // its length claims the frame behind it
  Bytes bad = Frame(1127, 60);
  bad[20] ^= 0x40;
  const Bytes stream = Text("junk\r\n") + a + Bytes{0xD3} + b + cut + d + Bytes(6, 0) + Bytes{0xD3, 0x00} + bad + f + Bytes{0xD3, 0x01};
  const std::vector<Bytes> expected{a, b, d, f};
  const unsigned long framed = static_cast<unsigned long>(a.size() + b.size() + d.size() + f.size());

  for (std::size_t split = 0; split <= stream.size(); ++split) {
    tc::Rtcm3Filter filter;
    FrameSink sink;
    filter.Feed(stream.data(), split, sink);
    filter.Feed(stream.data() + split, stream.size() - split, sink);
    ASSERT_EQ(sink.frames, expected) << "split at " << split;
    filter.Reset();
    EXPECT_EQ(filter.FrameBytes(), framed);
    EXPECT_EQ(filter.DroppedBytes(), stream.size() - framed);
  }
  tc::Rtcm3Filter bytewise;
  FrameSink sink;
  for (unsigned char byte : stream) bytewise.Feed(&byte, 1, sink);
  EXPECT_EQ(sink.frames, expected);

  // Behind a hostile run that claims a longest frame at every third byte,
  // and over the filter's room several times, nothing changes: the same
  // frames, and every other byte dropped.
  Bytes hostile;
  for (int i = 0; i < 700; ++i) hostile = hostile + Bytes{0xD3, 0x03, 0xFF};
  const Bytes longStream = hostile + stream + hostile + stream + stream;
  tc::Rtcm3Filter filter;
  FrameSink longSink;
  for (std::size_t at = 0; at < longStream.size(); at += 97) {
    filter.Feed(longStream.data() + at, std::min<std::size_t>(97, longStream.size() - at), longSink);
  }
  filter.Reset();
  std::vector<Bytes> thrice;
  for (int i = 0; i < 3; ++i) thrice.insert(thrice.end(), expected.begin(), expected.end());
  EXPECT_EQ(longSink.frames, thrice);
  EXPECT_EQ(filter.DroppedBytes(), longStream.size() - 3 * framed);
}

// Each answer a caster gives, whole and cut at every byte: its kind, and the
// body handed on without the HTTP framing.
TEST(NtripAnswer, EveryAnswerAtEverySplit) {
  const Bytes frames = Frame(1005, 17) + Frame(1077, 200);
  const Bytes table = Text("STR;NEAR;x;RTCM 3.3;1005(10);2;GPS;NONE;DEU;50.09;8.66;0;0;g;none;B;N;2400;\r\nENDSOURCETABLE\r\n");
  // Chunk edges inside the frames, a size with an extension, upper-case hex.
  const Bytes chunked = Text("HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\nTRANSFER-ENCODING: chunked\r\n\r\n") +
                        Text("7;x=1\r\n") + Bytes(frames.begin(), frames.begin() + 7) + Text("\r\n") +
                        Text("A0\r\n") + Bytes(frames.begin() + 7, frames.begin() + 167) + Text("\r\n") +
                        Text(Hex(frames.size() - 167) + "\r\n") +
                        Bytes(frames.begin() + 167, frames.end()) + Text("\r\n0\r\n\r\n");
  struct Case {
    const char* name;
    Bytes answer;
    tc::AnswerKind kind;
    int status;
    Bytes data, table;
    bool ended;
  } cases[] = {
      {"version 1, data right after ICY", Text("ICY 200 OK\r\n") + frames, tc::AnswerKind::kData, 200, frames, {}, false},
      {"version 2, chunked", chunked, tc::AnswerKind::kData, 200, frames, {}, true},
      {"version 2, plain", Text("HTTP/1.0 200 OK\r\nContent-Type: gnss/data\r\n\r\n") + frames, tc::AnswerKind::kData,
       200, frames, {}, false},
      {"version 1 table", Text("SOURCETABLE 200 OK\r\nServer: c\r\nContent-Length: 120\r\n\r\n") + table,
       tc::AnswerKind::kSourceTable, 200, {}, table, false},
      {"version 2 table", Text("HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\nContent-Length: ") +
                              Text(std::to_string(table.size())) + Text("\r\n\r\n") + table + Text("trailing"),
       tc::AnswerKind::kSourceTable, 200, {}, table, true},
      {"login refused, the line alone", Text("HTTP/1.0 401 Unauthorized\r\n"),
       tc::AnswerKind::kUnauthorized, 401, {}, {}, false},
      {"not found", Text("HTTP/1.1 404 Not Found\r\n\r\n"), tc::AnswerKind::kRefused, 404, {}, {}, false},
      {"garbage", Text("SSH-2.0-OpenSSH\r\n") + frames, tc::AnswerKind::kGarbage, 0, {}, {}, false},
      {"bad chunk size", Text("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"), tc::AnswerKind::kGarbage,
       200, {}, {}, false},
      {"endless status line", Bytes(600, 'A'), tc::AnswerKind::kGarbage, 0, {}, {}, false},
  };
  for (const Case& c : cases) {
    for (std::size_t split = 0; split <= c.answer.size(); ++split) {
      tc::NtripAnswer answer;
      AnswerSink sink;
      answer.Feed(c.answer.data(), split, sink);
      answer.Feed(c.answer.data() + split, c.answer.size() - split, sink);
      ASSERT_EQ(answer.Kind(), c.kind) << c.name << ", split at " << split;
      ASSERT_EQ(answer.Status(), c.status) << c.name;
      ASSERT_EQ(sink.data, c.data) << c.name << ", split at " << split;
      ASSERT_EQ(sink.table, c.table) << c.name << ", split at " << split;
      ASSERT_EQ(answer.Ended(), c.ended) << c.name;
    }
  }
}

TEST(NtripRequest, AskAsVersion2WithAgentAndLogin) {
  char out[512];
  tc::CasterLogin login;
  login.host = "caster.example";
  login.mountpoint = "TEST";
  login.user = "user";
  login.password = "pass";
  ASSERT_GT(tc::BuildRequest(login, out, sizeof out), 0);
  EXPECT_STREQ(out,
               "GET /TEST HTTP/1.1\r\nHost: caster.example:2101\r\nNtrip-Version: Ntrip/2.0\r\n"
               "User-Agent: NTRIP Trelvane/1.0\r\nAuthorization: Basic dXNlcjpwYXNz\r\nConnection: close\r\n\r\n");
  login.user = "";
  login.mountpoint = "";
  ASSERT_GT(tc::BuildRequest(login, out, sizeof out), 0);
  EXPECT_EQ(std::strstr(out, "Authorization"), nullptr);
  EXPECT_EQ(std::strncmp(out, "GET / HTTP/1.1\r\n", 16), 0);
  login.mountpoint = "A\r\nX-Evil: 1";
  EXPECT_EQ(tc::BuildRequest(login, out, sizeof out), 0);
  login.mountpoint = "TEST";
  EXPECT_EQ(tc::BuildRequest(login, out, 60), 0);
  // A mountpoint of 100 characters goes; a space or a control character in
  // one can never make a request, and a password goes as its bytes
  // (UTF-8).
  const std::string longest(100, 'M');
  for (const auto& [mount, buildable] : std::vector<std::pair<std::string, bool>>{
           {longest, true}, {"MY MOUNT", false}, {"TAB\tBED", false}, {"DEL\x7F", false}, {"RTCM3_EPH-01", true}}) {
    login.mountpoint = mount.c_str();
    EXPECT_EQ(tc::BuildRequest(login, out, sizeof out) > 0, buildable) << mount;
    EXPECT_EQ(tc::MountpointFits(mount.c_str()), buildable) << mount;
  }
  login.mountpoint = "TEST";
  login.user = "u";
  login.password = "p\xC3\xA4ssword";
  ASSERT_GT(tc::BuildRequest(login, out, sizeof out), 0);
  EXPECT_NE(std::strstr(out, "Authorization: Basic dTpww6Rzc3dvcmQ=\r\n"), nullptr) << out;
}

TEST(SourceTable, MountpointsNearestFirstWithTheirItems) {
  const std::string text =
      "CAS;caster;2101;x;y;0;DEU;50;8;0.0.0.0;0;http://\r\n"
      "STR;FAR;far;RTCM 3.2;1005(1);2;GPS;NET;USA;40.0;-75.0;1;0;g;none;B;N;2400;\r\n"
      "STR;NOWHERE;n;RTCM 3.3;;2;GPS;NET;DEU;;;0;0;g;none;B;N;0;\r\n"
      "STR;NEAR;near;RTCM 3.3;1005(10);2;GPS;NET;DEU;50.10;8.70;0;0;g;none;B;N;2400;\r\n"
      "STR;EAST;east;RTCM 3.1;1004(1);2;GPS;NET;JPN;35.0;139.0;0;0;g;none;B;N;0;\r\n"
      "STR;SHORT;only three\r\n" +
      std::string(2000, 'x') + "\r\nENDSOURCETABLE\r\n";
  tc::SourceTable table;
  for (char c : text) table.Take(reinterpret_cast<const unsigned char*>(&c), 1);
  ASSERT_TRUE(table.Complete());
  std::vector<std::string> items;
  auto list = [&] {
    items.clear();
    char item[128];
    for (const tc::Mountpoint& m : table.Mounts()) {
      tc::SourceTable::ItemText(m, item, sizeof item);
      items.push_back(item);
    }
  };
  list();
  EXPECT_EQ(items, (std::vector<std::string>{"FAR (RTCM 3.2, USA)", "NOWHERE (RTCM 3.3, DEU)", "NEAR (RTCM 3.3, DEU)",
                                             "EAST (RTCM 3.1, JPN)"}));
  table.Order(true, 50.09, 8.66);  // Frankfurt
  list();
  EXPECT_EQ(items, (std::vector<std::string>{"NEAR (RTCM 3.3, DEU, 3 km)", "FAR (RTCM 3.2, USA, 6318 km)",
                                             "EAST (RTCM 3.1, JPN, 9371 km)", "NOWHERE (RTCM 3.3, DEU)"}));
  char name[64];
  tc::SourceTable::NameOfItem(items[0].c_str(), name, sizeof name);
  EXPECT_STREQ(name, "NEAR");
  tc::SourceTable::NameOfItem("TYPED", name, 3);
  EXPECT_STREQ(name, "TY");
}

// The waits over a run of connections, each of which flowed for some
// seconds (0: no frame at all) before it was lost. Only a minute of flow
// brings the wait back to a second: a caster that sends one frame and
// closes sees the same waits as one that sends nothing.
TEST(CorrectionsFlow, BackoffShrinksOnlyAfterAMinuteOfFlow) {
  struct Case {
    const char* what;
    std::vector<unsigned> flowedSeconds;
    std::vector<unsigned> waits;
  } cases[] = {
      {"one frame (or none) then close", {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 4, 8, 16, 32, 60, 60, 60}},
      {"59 s of flow each time", {59, 59, 59, 59}, {1, 2, 4, 8}},
      {"61 s of flow, then lost", {0, 0, 61, 0, 0}, {1, 2, 1, 2, 4}},
      {"exactly a minute", {60, 60}, {1, 1}},
  };
  for (const Case& c : cases) {
    tc::Backoff backoff;
    std::vector<unsigned> waits;
    for (unsigned flowed : c.flowedSeconds) {
      backoff.Flowed(flowed * 1000u);
      waits.push_back(backoff.NextMs() / 1000);
    }
    EXPECT_EQ(waits, c.waits) << c.what;
  }
}

TEST(CorrectionsFlow, StatusTextThroughAStreamsLife) {
  tc::CorrectionsFlow flow;
  char text[160];
  flow.StatusText(0, text, sizeof text);
  EXPECT_STREQ(text, "");
  std::strcpy(flow.host, "caster.example");
  std::strcpy(flow.mountpoint, "TEST");
  flow.state = tc::CasterState::kConnecting;
  flow.StatusText(0, text, sizeof text);
  EXPECT_STREQ(text, "Corrections: connecting to caster.example");

  flow.state = tc::CasterState::kFlowing;
  flow.Restart(100000);
  // 1200 bytes a second for 12 s; 1077 stops after 1 s, 1005 every 10 s.
  for (std::uint32_t ms = 100000; ms < 112000; ms += 1000) {
    if (ms == 100000) flow.TakeFrame(1077, 200, ms);
    flow.TakeFrame(ms % 10000 == 0 ? 1005 : 1230, 1000, ms + 10);
    if (ms != 100000) flow.TakeFrame(1097, 200, ms + 20);
  }
  flow.StatusText(112500, text, sizeof text);
  EXPECT_STREQ(text, "Corrections: TEST 1.2 kB/s, 1005 1097 1230, 1 s old");
  flow.StatusText(112500, text, 30);
  EXPECT_EQ(std::strlen(text), 29u);

  const struct {
    tc::CasterState state;
    const char* text;
  } states[] = {
      {tc::CasterState::kLoginRefused, "Corrections: caster refused the login"},
      {tc::CasterState::kNoMountpoint, "Corrections: no mountpoint TEST"},
      {tc::CasterState::kWaiting, "Corrections: reconnecting in 4 s (the caster was silent for 10 s)"},
  };
  std::strcpy(flow.reason, "the caster was silent for 10 s");
  flow.retryAtMs = 116000;
  for (const auto& s : states) {
    flow.state = s.state;
    flow.StatusText(112500, text, sizeof text);
    EXPECT_STREQ(text, s.text);
  }
  const struct {
    int quality;
    bool haveAge;
    const char* text;
  } answers[] = {{4, true, "receiver RTK fixed (1.5 s)"},
                 {5, false, "receiver RTK float"},
                 {2, false, "receiver DGPS"},
                 {1, false, "receiver no RTK"},
                 {-1, false, "receiver no RTK"}};
  for (const auto& a : answers) {
    tc::ReceiverAnswerText(a.quality, a.haveAge, 1.5, text, sizeof text);
    EXPECT_STREQ(text, a.text);
  }
}

// The position a caster is sent: always as $GPGGA with its checksum worked
// out again, a stale one with the current time, and never one without a
// position.
TEST(GgaForCaster, TalkerTimeAndPositionAsCastersWantThem) {
  struct Case {
    const char* in;
    const char* utc;
    const char* out;  // "" for nothing sent
  } cases[] = {
      {"$GNGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*77", nullptr,
       "$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"},
      {"$GNGGA,123519.00,4807.038,N,01131.000,E,4,12,0.6,545.4,M,46.9,M,1.0,0000*59\r\n", "101500.00",
       "$GPGGA,101500.00,4807.038,N,01131.000,E,4,12,0.6,545.4,M,46.9,M,1.0,0000*4F\r\n"},
      {"$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*69", nullptr,
       "$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"},
      {"$GNGGA,123519.00,4807.038,N,01131.000,E,0,00,99.9,,M,,M,,*4E", nullptr, ""},  // no fix
      {"$GNGGA,123519.00,,,,,1,08,0.9,545.4,M,46.9,M,,*51", nullptr, ""},               // no position
      {"$GNGGA,123519.00,4807.038,N,01131.000,E,,08,0.9,545.4,M,46.9,M,,*46", nullptr, ""},  // no quality
      {"$GNRMC,123519.00,A,4807.038,N,01131.000,E,0.0,0.0,230394,,,A*6A", nullptr, ""},
      {"$GNGGA,123519.00,4807.038", nullptr, ""},
  };
  for (const Case& c : cases) {
    char out[tc::kGgaLineChars + 4];
    const int length = tc::GgaForCaster(c.in, static_cast<int>(std::strlen(c.in)), c.utc, out, sizeof out);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(length)), c.out) << c.in;
  }
  char small[20];
  const char* fine = cases[0].in;
  EXPECT_EQ(tc::GgaForCaster(fine, static_cast<int>(std::strlen(fine)), nullptr, small, sizeof small), 0);
}

namespace {

// An observation frame as a base sends it: `type`, station 0, epoch time
// `epochMs`, and the bit that says more of the epoch follow, then `extra`
// bytes to a typical size.
Bytes Observation(int type, std::uint32_t epochMs, bool more, int extra) {
  Bytes payload(8 + static_cast<std::size_t>(extra), 0);
  payload[0] = static_cast<unsigned char>(type >> 4);
  payload[1] = static_cast<unsigned char>((type & 15) << 4);  // station 0
  const std::uint64_t tail = (std::uint64_t{epochMs & 0x3FFFFFFFu} << 1 | (more ? 1u : 0u)) << 9;  // bits 24..54
  for (int i = 0; i < 5; ++i) payload[3 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(tail >> (32 - 8 * i));
  Bytes frame(tc::kMaxFrame);
  frame.resize(static_cast<std::size_t>(tc::BuildFrame(payload.data(), static_cast<int>(payload.size()), frame.data())));
  return frame;
}

}  // namespace

TEST(PortQueue, TheEpochsFlagIsReadFromEachKindOfObservation) {
  EXPECT_EQ(tc::MoreOfEpochFollow(Observation(1077, 12345, true, 40).data(), 51), 1);
  EXPECT_EQ(tc::MoreOfEpochFollow(Observation(1127, 12345, false, 40).data(), 51), 0);
  EXPECT_EQ(tc::MoreOfEpochFollow(Observation(1004, 0x3FFFFFFF, false, 40).data(), 51), 0);
  // GLONASS's epoch time is three bits shorter: its flag is read from
  // what a 30-bit time's bit 2 would be.
  EXPECT_EQ(tc::MoreOfEpochFollow(Observation(1012, 4, false, 40).data(), 51), 1);
  EXPECT_EQ(tc::MoreOfEpochFollow(Observation(1077, 4, false, 40).data(), 51), 0);
  EXPECT_EQ(tc::MoreOfEpochFollow(Frame(1005, 17).data(), 25), -1);
  EXPECT_EQ(tc::MoreOfEpochFollow(Frame(1077, 2).data(), 10), -1) << "too short to hold the flag";
}

// A four-system MSM7 base, 2.4 kB an epoch and the station every tenth,
// through a port that takes baud / 10 bytes a second, as the client's
// feeder writes it: what cannot fit gives way to the newest epoch, whole.
TEST(PortQueue, AStreamIntoPortsOfEachRate) {
  const struct {
    unsigned long baud;
    bool fits;
    const char* status;
  } ports[] = {
      {9600, false, "Corrections: BASE 2.4 kB/s does not fit 9600 baud, 1005 1077 1087 1097 1127, 0 s old"},
      {38400, true, "Corrections: BASE 2.4 kB/s, 1005 1077 1087 1097 1127, 0 s old"},
      {115200, true, "Corrections: BASE 2.4 kB/s, 1005 1077 1087 1097 1127, 0 s old"},
  };
  const int systems[] = {1077, 1087, 1097, 1127};
  for (const auto& port : ports) {
    SCOPED_TRACE(port.baud);
    tc::PortQueue queue;
    tc::CorrectionsFlow flow;
    std::strcpy(flow.mountpoint, "BASE");
    flow.state = tc::CasterState::kFlowing;
    flow.portBaud = port.baud;
    flow.Restart(0);
    std::vector<Bytes> arrived;
    std::vector<std::pair<Bytes, int>> written;  // a frame and the epoch last begun when it went
    double wireFreeMs = 0;
    unsigned long droppedBytes = 0;
    for (std::uint32_t epoch = 0; epoch < 30; ++epoch) {
      const std::uint32_t now = epoch * 1000;
      std::vector<Bytes> frames;
      if (epoch % 10 == 0) frames.push_back(Frame(1005, 17));
      for (int i = 0; i < 4; ++i) frames.push_back(Observation(systems[i], now, i < 3, 580));
      for (const Bytes& f : frames) {
        flow.TakeFrame(tc::MessageType(f.data(), static_cast<int>(f.size())), static_cast<int>(f.size()), now);
        droppedBytes += static_cast<unsigned long>(queue.Push(f.data(), static_cast<int>(f.size()), !flow.Fits(now)));
        arrived.push_back(f);
      }
      // The feeder until the next epoch: a frame when the wire is free.
      unsigned char out[tc::kMaxFrame];
      while (wireFreeMs < now + 1000 && !queue.Empty()) {
        const int n = queue.Pop(out);
        written.emplace_back(Bytes(out, out + n), static_cast<int>(epoch));
        wireFreeMs = std::max(wireFreeMs, static_cast<double>(now)) + n * 10000.0 / static_cast<double>(port.baud);
      }
    }
    char text[160];
    flow.StatusText(29000, text, sizeof text);
    EXPECT_STREQ(text, port.status);
    EXPECT_EQ(droppedBytes > 0, !port.fits);
    // Whole, valid, in arrival order; the station's frames all went.
    std::size_t at = 0, stations = 0;
    for (const auto& [frame, begun] : written) {
      EXPECT_EQ(tc::Crc24q(frame.data(), frame.size()), 0u);
      while (at < arrived.size() && arrived[at] != frame) ++at;
      ASSERT_LT(at, arrived.size()) << "a frame went out of order or was not one that arrived";
      const int type = tc::MessageType(frame.data(), static_cast<int>(frame.size()));
      stations += type == 1005;
      // An observation goes out only while its epoch is the newest begun.
      if (type != 1005 && !port.fits) {
        EXPECT_EQ(static_cast<int>((frame[6] << 22 | frame[7] << 14 | frame[8] << 6 | frame[9] >> 2) & 0x3FFFFFFF) / 1000,
                  begun);
      }
    }
    EXPECT_EQ(stations, 3u);
    if (port.fits) {
      EXPECT_EQ(written.size(), arrived.size());
    }
  }
}

TEST(PortQueue, AFullQueueGivesUpItsOldestFrameButNotTheStations) {
  tc::PortQueue queue;
  const Bytes station = Frame(1005, 17), text = Frame(1029, 30);
  queue.Push(station.data(), static_cast<int>(station.size()), false);
  int dropped = 0;
  for (int i = 0; i < tc::PortQueue::kSlots + 3; ++i) dropped += queue.Push(text.data(), static_cast<int>(text.size()), false);
  EXPECT_EQ(dropped, 4 * static_cast<int>(text.size()));
  EXPECT_EQ(queue.Count(), tc::PortQueue::kSlots);
  unsigned char out[tc::kMaxFrame];
  EXPECT_EQ(queue.Pop(out), static_cast<int>(station.size()));
  EXPECT_EQ(tc::MessageType(out, static_cast<int>(station.size())), 1005);
}
