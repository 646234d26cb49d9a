// A 10 Hz recording of a four-system receiver, an hour long unless told
// otherwise (36,000 cycles an hour of the bundled four-system capture
// repeated, about 2 KB each: 72 MB an hour, a day 1.7 GB; one timed read a
// cycle, 100 ms apart), opened and sought in as the desktop monitor does:
// the real file through the Win32 file calls, the real session with the
// seek's log copy, the seek fed slice by slice as the window's timer feeds
// it. Prints the time to open, for a seek to 95 % at once (before the seek
// points are read), to read the file for its points, and for seeks to
// 10 %, 50 %, 99 % and the start: how long until the page
// showed the place (what the window was held for when a seek was fed in one
// go) and the longest single call (the longest a message waits now), and
// how much the peak working set grew. The handheld build has no position
// bar: with "handheld" the file is opened by its session and played through
// instead, the clock moved on as the window's timer would at high speed.
// Run under Wine:
// wine64 playback_bench.exe [DIR [HOURS [untimed] [handheld]]]   (the file is
// made in DIR, then deleted; "untimed" leaves its timing out, so that the
// open reads it through for its cycles)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "monitor/playback.hpp"
#include "nmea/satellite_table.hpp"
#include "recording/playback_file.hpp"
#include "recording/recording_format.hpp"

using namespace trelvane;

namespace {

constexpr std::uint32_t kCyclesAnHour = 36000;  // at 10 Hz
constexpr std::uint32_t kCycleMs = 100;

template <class Ch>
class CountingLogPane final : public nmea::LogPane<Ch> {
 public:
  int LineCount() override { return lines_; }
  void SetText(const Ch* text) override { lines_ = text[0] == 0 ? 1 : 2; }
  void ReplaceSelection(const Ch*) override { ++lines_; }

 private:
  int lines_ = 1;
};

// The handheld's readout is its page's edit controls; here their texts go.
class DroppedReadout final : public nmea::ReadoutControls<wchar_t> {
 public:
  void SetControlText(int, const wchar_t*) override {}
};

std::string ReadWhole(const char* path) {
  std::string bytes;
  if (FILE* f = std::fopen(path, "rb")) {
    char piece[4096];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, f)) > 0;) bytes.append(piece, got);
    std::fclose(f);
  }
  return bytes;
}

// The capture's cycles from its first RMC on, each as one string, its
// sentences ending in CR LF as the receiver sent them.
std::vector<std::string> Cycles(const std::string& capture) {
  std::vector<std::string> cycles;
  for (std::size_t at = 0; at < capture.size();) {
    std::size_t end = capture.find('\n', at);
    if (end == std::string::npos) end = capture.size();
    std::string line = capture.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 6 || line[0] != '$') continue;
    if (line.compare(3, 3, "RMC") == 0) cycles.emplace_back();
    if (!cycles.empty()) cycles.back() += line + "\r\n";
  }
  return cycles;
}

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

// Opens `path` as a monitor does, the open's slices pumped as its timer
// would, and says how long that took and its longest call.
template <class Ch>
bool OpenAndSay(monitor::Playback<Ch>& playback, recording::PlaybackFile& file, const Ch* path, bool untimed) {
  const auto start = std::chrono::steady_clock::now();
  recording::OpenResult result = recording::OpenResult::kUnreadable;
  bool opened = file.Open(path);
  if (opened) playback.Open(file, file.Reads(), file.ReadCount(), path, 0, result);
  double longest = MsSince(start);
  while (playback.Indexing()) {
    const auto call = std::chrono::steady_clock::now();
    playback.Pump(0);
    longest = std::max(longest, MsSince(call));
  }
  opened = opened && playback.IsOpen();
  std::printf("open: %.0f ms, longest call %.0f ms (%s, %zu reads)\n", MsSince(start), longest,
              opened ? (untimed ? "read through for its cycles" : "timed") : "FAILED", file.ReadCount());
  return opened;
}

// The handheld's session opens the file and plays it to its end, the clock
// 800 ms on at each pump (a pump feeds at most 16 KiB, about eight cycles).
bool PlayAsHandheld(const std::string& path, bool untimed) {
  static CountingLogPane<wchar_t> log;
  static DroppedReadout readout;
  static nmea::SatelliteTable<wchar_t> satellites;
  static monitor::DataAge age;
  static monitor::MonitorSession<wchar_t> session{log, readout, satellites, age};
  static monitor::Playback<wchar_t> playback{session};
  static recording::PlaybackFile file;
  const std::wstring wide(path.begin(), path.end());
  const std::size_t before = PeakWorkingSet();
  if (!OpenAndSay(playback, file, wide.c_str(), untimed)) return false;
  const auto start = std::chrono::steady_clock::now();
  double longest = 0;
  std::uint32_t now = 0;
  while (!playback.Clock().Ended()) {
    now += 800;
    const auto call = std::chrono::steady_clock::now();
    playback.Pump(now);
    longest = std::max(longest, MsSince(call));
  }
  std::printf("handheld played it through in %.1f s, longest call %.0f ms, %u fixes taken\n",
              MsSince(start) / 1000, longest, static_cast<unsigned>(session.Fixes().Where().taken));
  std::printf("peak working set grew by %.1f MB (from %.1f MB)\n", static_cast<double>(PeakWorkingSet() - before) / 1e6,
              static_cast<double>(before) / 1e6);
  file.Close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const std::string path = dir + "\\playback-bench.nmea";
  const std::uint32_t hours = argc > 2 ? static_cast<std::uint32_t>(std::atoi(argv[2])) : 1;
  const std::uint32_t cycleCount = (hours == 0 ? 1 : hours) * kCyclesAnHour;
  bool untimed = false;
  bool handheld = false;
  for (int i = 3; i < argc; ++i) {
    untimed = untimed || std::string(argv[i]) == "untimed";
    handheld = handheld || std::string(argv[i]) == "handheld";
  }
  const std::vector<std::string> cycles = Cycles(ReadWhole(TRELVANE_FOUR_SYSTEM_CAPTURE));
  if (cycles.empty()) {
    std::printf("playback_bench: no cycles in %s\n", TRELVANE_FOUR_SYSTEM_CAPTURE);
    return 1;
  }
  std::uint64_t size = 0;
  std::uint32_t count = 0;
  {
    FILE* out = std::fopen(path.c_str(), "wb");
    FILE* timing = std::fopen((path + ".timing").c_str(), "wb");
    if (out == nullptr || timing == nullptr) return 1;
    std::fwrite(recording::kTimingMagic, 1, sizeof recording::kTimingMagic, timing);
    for (; count < cycleCount; ++count) {
      const std::string& cycle = cycles[count % cycles.size()];
      unsigned char record[recording::kTimingRecordBytes];
      recording::EncodeTiming(recording::TimedRead{static_cast<std::uint32_t>(size), count * kCycleMs}, record);
      std::fwrite(record, 1, sizeof record, timing);
      std::fwrite(cycle.data(), 1, cycle.size(), out);
      size += cycle.size();
    }
    std::fclose(out);
    std::fclose(timing);
    if (untimed) DeleteFileA((path + ".timing").c_str());
  }
  std::printf("recording: %.1f MB, %u cycles at 10 Hz (%u s)\n", static_cast<double>(size) / 1e6, count,
              count * kCycleMs / 1000);

  if (handheld) {
    const bool played = PlayAsHandheld(path, untimed);
    DeleteFileA(path.c_str());
    DeleteFileA((path + ".timing").c_str());
    return played ? 0 : 1;
  }

  static CountingLogPane<char> log;
  static nmea::FixDisplayRecord readout;
  static nmea::SatelliteTable<char> satellites;
  static monitor::DataAge age;
  static monitor::MonitorSession<char> session{log, readout, satellites, age};
  static monitor::Playback<char> playback{session};
  static recording::PlaybackFile file;

  const std::size_t before = PeakWorkingSet();
  const bool opened = OpenAndSay(playback, file, path.c_str(), untimed);
  const auto seek = [](std::uint32_t permille, const char* when) {
    const auto begun = std::chrono::steady_clock::now();
    auto call = begun;
    playback.Seek(permille, 0);
    double longest = MsSince(call);
    int calls = 1;
    for (; playback.Seeking(); ++calls) {
      call = std::chrono::steady_clock::now();
      playback.Pump(0);
      longest = std::max(longest, MsSince(call));
    }
    std::printf("seek to %u/1000%s: page after %.0f ms, longest call %.0f ms of %d (readout %s)\n", permille, when,
                MsSince(begun), longest, calls, readout.utc);
  };
  // At once, far past the points read so far (a few slices' worth).
  for (int i = 0; i < 3; ++i) playback.Pump(0);
  seek(950, " at once");
  // The file read through for its seek points, a slice a pump, as the
  // window's timer does while the file plays.
  const auto start = std::chrono::steady_clock::now();
  double longestPoints = 0;
  while (playback.KeepingPoints()) {
    const auto call = std::chrono::steady_clock::now();
    playback.Pump(0);
    longestPoints = std::max(longestPoints, MsSince(call));
  }
  std::printf("seek points: %d kept in %.0f ms, longest call %.0f ms\n", playback.PointsKept(), MsSince(start),
              longestPoints);
  for (std::uint32_t permille : {100u, 500u, 990u, 0u}) seek(permille, "");
  std::printf("peak working set grew by %.1f MB (from %.1f MB)\n", static_cast<double>(PeakWorkingSet() - before) / 1e6,
              static_cast<double>(before) / 1e6);
  file.Close();
  DeleteFileA(path.c_str());
  DeleteFileA((path + ".timing").c_str());
  return opened ? 0 : 1;
}
