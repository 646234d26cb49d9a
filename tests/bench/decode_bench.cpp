// Decode throughput: a real capture's lines through sentence intake, with a log
// pane that discards its text, in sentences per second (items_per_second).
//
//   build/native/tests/bench/decode_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "corrections/rtcm3_frames.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/sentence_intake.hpp"
#include "stream/line_assembler.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tools/decode/recorded_controls.hpp"
#include "tools/decode/replay.hpp"

namespace {

using namespace trelvane;
using decode::DiscardingLogPane;
using testing::ReadCapture;

// The capture's sentence lines, cut as the reader cuts them. Captures stored
// with LF line ends get back the CR that the receiver sent before each LF.
template <class Ch>
std::vector<std::basic_string<Ch>> CaptureLines(const char* name) {
  std::vector<std::basic_string<Ch>> lines;
  stream::LineAssembler<Ch> cutter;
  std::string bytes;
  unsigned char previous = 0;
  for (unsigned char byte : ReadCapture(name)) {
    if (byte == '\n' && previous != '\r') bytes.push_back('\r');
    bytes.push_back(static_cast<char>(byte));
    previous = byte;
  }
  for (unsigned char byte : bytes) {
    if (cutter.Push(byte) == stream::LineAssembler<Ch>::Step::kLine && cutter.Line()[0] != Ch('#')) {
      lines.emplace_back(cutter.Line(), cutter.LineLength());
    }
  }
  return lines;
}

template <class Build, class Readout>
void HandleCapture(benchmark::State& state, const char* capture) {
  using Ch = typename Build::Char;
  const auto lines = CaptureLines<Ch>(capture);
  if (lines.empty()) {
    state.SkipWithError("capture not found");
    return;
  }
  DiscardingLogPane<Ch> log;
  Readout readout;
  nmea::SatelliteTable<Ch> table;
  nmea::SentenceIntake<Build> intake(log, readout, table, nmea::RepaintCallback{});
  long long accepted = 0;
  for (auto _ : state) {
    for (const auto& line : lines) accepted += intake.HandleSentence(line.c_str());
  }
  benchmark::DoNotOptimize(accepted);
  state.SetItemsProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(lines.size()));
}

void DesktopBundg(benchmark::State& state) {
  HandleCapture<nmea::DesktopBuild, nmea::FixDisplayRecord>(state, "bundg_zeus_9.log");
}
void PocketBundg(benchmark::State& state) {
  HandleCapture<nmea::PocketBuild, decode::RecordedControls<nmea::Utf16Unit>>(state, "bundg_zeus_9.log");
}
void DesktopQuectel(benchmark::State& state) {
  HandleCapture<nmea::DesktopBuild, nmea::FixDisplayRecord>(state, "quectel.log");
}
// The multi-system captures: every talker's RMC, GSA and GSV, and the
// all-systems view they feed.
void DesktopMulti(benchmark::State& state, const char* capture) {
  HandleCapture<nmea::DesktopBuild, nmea::FixDisplayRecord>(state, capture);
}
BENCHMARK_CAPTURE(DesktopMulti, NeoM9n, "multi/ublox-neo-m9n-nmea.log");
BENCHMARK_CAPTURE(DesktopMulti, ZedF9p, "multi/ublox-zed-f9p-nmea.log");
BENCHMARK_CAPTURE(DesktopMulti, QuectelL76k, "multi/quectel-l76k-nmea.log");
BENCHMARK_CAPTURE(DesktopMulti, NeoM8n, "multi/neo-m8n.log");
BENCHMARK_CAPTURE(DesktopMulti, SirfStarV, "multi/sirfstarv-nmea.log");
BENCHMARK_CAPTURE(DesktopMulti, Bu353Glonass, "multi/bu353-glonass.log");
BENCHMARK_CAPTURE(DesktopMulti, BeidouGb, "multi/beidou-gb.log");
// A hostile caster's stream built to fail late: `D3 03 FF` over and over
// claims a full-length frame at every third byte, so the filter checks a
// CRC of some 1 KB for each one and gives each up only at its end. The
// bytes a second must stay well above any caster's (20 MB/s and more).
void HostileCorrections(benchmark::State& state) {
  std::vector<unsigned char> stream;
  for (int i = 0; i < 64 * 1024; ++i) {
    stream.push_back(0xD3);
    stream.push_back(0x03);
    stream.push_back(0xFF);
  }
  struct Sink {
    long long frames = 0;
    void OnFrame(const unsigned char*, int) { ++frames; }
  } sink;
  corrections::Rtcm3Filter filter;
  for (auto _ : state) filter.Feed(stream.data(), stream.size(), sink);
  benchmark::DoNotOptimize(sink.frames);
  state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(stream.size()));
}
BENCHMARK(HostileCorrections);
BENCHMARK(DesktopBundg);
BENCHMARK(PocketBundg);
BENCHMARK(DesktopQuectel);

}  // namespace

BENCHMARK_MAIN();
