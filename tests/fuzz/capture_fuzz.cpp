// libFuzzer target: arbitrary bytes as a capture file for trelvane-sim, and
// as what the monitor writes back to it. Checks that every line the capture
// sends is a sent line (not empty, not a note, ended by CR LF, no LF inside),
// that cycles after the first start at a "$GPRMC" line and hold no other,
// that the wire grows by at most a byte a line, that a fast single play puts
// exactly the capture's bytes on the wire, and that written-back lines keep
// within their buffer. The same bytes with noise mixed in must still send
// every real line whole and in order, count the same valid sentences, and
// give our monitor's line cutting no line to accept but real sentences, as
// many as counted whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "stream/line_assembler.hpp"
#include "tools/sim/capture_player.hpp"
#include "tools/sim/noise.hpp"

namespace {

using namespace trelvane::sim;

// Noise makes a capture many times larger (a long line is 10,000 bytes), so
// only the shorter inputs get it, to keep the runs fast.
constexpr std::size_t kNoiseInputMax = 1024;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Checks one cycle's lines; returns how many it holds.
std::size_t CheckCycle(std::string_view cycle, bool first) {
  Require(!cycle.empty());
  std::size_t lines = 0;
  std::size_t pos = 0;
  while (pos < cycle.size()) {
    const std::size_t end = cycle.find('\n', pos);
    Require(end != std::string_view::npos && end > pos + 1 && cycle[end - 1] == '\r');
    const std::string_view line = cycle.substr(pos, end - 1 - pos);
    Require(line.front() != '#');
    // A cycle starts at an RMC: $GPRMC anywhere, another talker's at the start.
    const bool rmc = line.find("$GPRMC") != std::string_view::npos ||
                     (line.size() >= 6 && line[0] == '$' && line.substr(3, 3) == "RMC");
    if (lines == 0 && !first) Require(rmc);
    if (lines > 0) Require(!rmc);
    ++lines;
    pos = end + 1;
  }
  return lines;
}

void CheckLoad(std::string_view bytes, const Capture& capture) {
  std::size_t wire = 0;
  std::size_t lines = 0;
  for (std::size_t i = 0; i < capture.CycleCount(); ++i) {
    lines += CheckCycle(capture.Cycle(i), i == 0);
    wire += capture.Cycle(i).size();
  }
  std::size_t inputLines = 0;
  for (char c : bytes) inputLines += c == '\n' ? 1 : 0;
  Require(lines <= inputLines + 1);
  Require(wire <= bytes.size() + lines + 1);
}

// A fast single play at a high rate on a device that takes every byte.
void CheckPlay(const Capture& capture) {
  std::string expected;
  for (std::size_t i = 0; i < capture.CycleCount(); ++i) expected.append(capture.Cycle(i));
  std::string sent;
  Player player(capture, 4000000, /*fast=*/true, /*once=*/true);
  std::int64_t now = 0;
  player.Start(now);
  for (;;) {
    const Action action = player.Next(now);
    if (action.kind == Action::Kind::kDone) break;
    if (action.kind == Action::Kind::kWait) {
      Require(action.untilMicros > now);
      now = action.untilMicros;
      continue;
    }
    Require(action.size > 0 && sent.size() + action.size <= expected.size());
    sent.append(action.data, action.size);
    player.Wrote(action.size, now);
  }
  Require(sent == expected);
}

// The same play with fix times of the player's own: as many bytes, and as
// many valid sentences, as the capture holds.
void CheckTimedPlay(std::string_view bytes) {
  Capture capture;
  capture.Load(bytes, NoiseSettings{}, /*hundredths=*/true);
  std::size_t expected = 0;
  for (std::size_t i = 0; i < capture.CycleCount(); ++i) expected += capture.Cycle(i).size();
  Player player(capture, 4000000, /*fast=*/true, /*once=*/true);
  player.SetFixRate(10);
  player.GiveFixTimes();
  std::size_t sent = 0;
  std::int64_t now = 0;
  player.Start(now);
  for (Action action = player.Next(now); action.kind != Action::Kind::kDone; action = player.Next(now)) {
    if (action.kind == Action::Kind::kWait) {
      now = action.untilMicros;
      continue;
    }
    sent += action.size;
    player.Wrote(action.size, now);
  }
  Require(sent == expected && player.SentencesSent().valid == capture.Sentences().valid);
}

std::string Wire(const Capture& capture) {
  std::string wire;
  for (std::size_t i = 0; i < capture.CycleCount(); ++i) wire.append(capture.Cycle(i));
  return wire;
}

// The lines our monitor's reader cuts from `wire` and its checksum test passes.
std::vector<std::string_view> MonitorTakes(const std::string& wire, std::vector<std::string>& store) {
  trelvane::stream::LineAssembler<char> reader;
  store.clear();
  for (char byte : wire) {
    if (reader.Push(static_cast<unsigned char>(byte)) != trelvane::stream::LineAssembler<char>::Step::kLine) continue;
    const std::string_view line(reader.Line(), static_cast<std::size_t>(reader.LineLength()));
    if (MonitorAccepts(line)) store.emplace_back(line);
  }
  return std::vector<std::string_view>(store.begin(), store.end());
}

void CheckNoise(std::string_view bytes, const Capture& plain) {
  Capture noisy;
  noisy.Load(bytes, NoiseSettings{0.3, bytes.size()});
  const std::string real = Wire(plain);
  const std::string wire = Wire(noisy);
  std::size_t at = 0;
  for (std::size_t pos = 0; pos < real.size();) {
    const std::size_t end = real.find("\r\n", pos) + 2;
    at = wire.find(std::string_view(real).substr(pos, end - pos), at);
    Require(at != std::string::npos);
    at += end - pos;
    pos = end;
  }
  Require(noisy.Sentences().valid == plain.Sentences().valid);

  // Noise makes the monitor take no line it would not take without noise.
  std::vector<std::string> plainStore;
  std::vector<std::string> noisyStore;
  const std::vector<std::string_view> plainTaken = MonitorTakes(real, plainStore);
  const std::vector<std::string_view> noisyTaken = MonitorTakes(wire, noisyStore);
  std::size_t next = 0;
  for (std::string_view line : noisyTaken) {
    while (next < plainTaken.size() && plainTaken[next] != line) ++next;
    Require(next < plainTaken.size());
    ++next;
  }
  // Where the plain capture gives it just its valid sentences, the noisy one
  // gives it those it counted whole.
  Require(noisy.Sentences().whole <= noisyTaken.size());
  if (plainTaken.size() == plain.Sentences().valid) Require(noisyTaken.size() == noisy.Sentences().whole);
}

void CheckReplies(std::string_view bytes) {
  ReplyLines replies;
  for (char byte : bytes) {
    if (!replies.Push(byte)) continue;
    const std::string_view line = replies.Line();
    Require(!line.empty() && line.size() <= ReplyLines::kMaxReplyLine);
    Require(line.find('\n') == std::string_view::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Capture capture;
  capture.Load(bytes);
  CheckLoad(bytes, capture);
  CheckPlay(capture);
  CheckTimedPlay(bytes);
  if (size <= kNoiseInputMax) CheckNoise(bytes, capture);
  CheckReplies(bytes);
  return 0;
}
