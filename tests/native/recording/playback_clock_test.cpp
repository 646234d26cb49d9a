// The playback clock: when a recording's bytes fall due under each pacing,
// at each speed, paused and stepped, after a seek and at the end.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "recording/playback_clock.hpp"
#include "tests/native/recording/playback_support.hpp"

namespace trelvane::recording {
namespace {

using trelvane::testing::Capture;
using trelvane::testing::TextBytes;

// Cycle starts read plainly off whole lines: 0, then each "$GPRMC" or "$..RMC"
// line that has a data line before it.
std::vector<std::uint64_t> RmcStarts(const std::string& text) {
  std::vector<std::uint64_t> starts{0};
  bool data = false;
  for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
    if (data && text.compare(at, 1, "$") == 0 && text.compare(at + 3, 3, "RMC") == 0) starts.push_back(at);
    data = data || (text[at] != '#' && text[at] != '\r' && text[at] != '\n');
    if (text.find('\n', at) == std::string::npos) break;
  }
  return starts;
}

// Runs the clock to `until` ms of wall time after the tick `base`, in ticks
// of `tick` ms, taking at most 100 bytes a call; each range must follow the
// one before it.
std::uint64_t RunTo(recording::PlaybackClock& clock, std::uint32_t base, std::uint32_t& elapsed, std::uint32_t until,
                    std::uint32_t tick = 250) {
  for (;;) {
    for (recording::ByteRange r = clock.Due(base + elapsed, 100); r.count > 0; r = clock.Due(base + elapsed, 100)) {
      EXPECT_EQ(r.offset + r.count, clock.Delivered());
    }
    if (elapsed >= until) return clock.Delivered();
    elapsed = std::min(until, elapsed + tick);
  }
}

std::string Text(const PlaybackClock& clock) {
  char text[40];
  clock.PositionText(text, sizeof text);
  return text;
}

TEST(PlaybackClock, CyclesOfRealCapturesFallDueOneASecond) {
  for (const char* name : {"nd-1005.log", "multi/neo-m8n.log", "multi/sirfstarv-nmea.log"}) {
    SCOPED_TRACE(name);
    TextBytes file;
    file.text = Capture(name);
    std::vector<std::uint64_t> ends = RmcStarts(file.text);
    ASSERT_GT(ends.size(), 3u);
    recording::PlaybackClock clock;
    ASSERT_EQ(clock.Open(file, nullptr, 0), OpenResult::kOpened);
    EXPECT_EQ(clock.pacing(), Pacing::kCycles);
    EXPECT_EQ(clock.LengthMs(), ends.size() * 1000);
    ends.erase(ends.begin());
    ends.push_back(file.text.size());
    std::uint32_t elapsed = 0;
    clock.Play(7);
    for (std::uint32_t t = 0; t < clock.LengthMs(); t += 500) {
      EXPECT_EQ(RunTo(clock, 7, elapsed, t), ends[t / 1000]) << "at " << t << " ms";
      EXPECT_FALSE(clock.Ended());
    }
    RunTo(clock, 7, elapsed, static_cast<std::uint32_t>(clock.LengthMs()));
    EXPECT_TRUE(clock.Ended());
  }
}

// A recording's timing with bursts (under 20 ms apart), a gap and a silence.
const TimedRead kReads[] = {{0, 100}, {10, 105}, {30, 115}, {50, 2100}, {60, 2110}, {90, 5100}};

TEST(PlaybackClock, TimedReadsFallDueWhenTheyWereRead) {
  TextBytes file;
  file.text = std::string(100, 'x');
  recording::PlaybackClock clock;
  ASSERT_EQ(clock.Open(file, kReads, 6), OpenResult::kOpened);
  EXPECT_EQ(clock.pacing(), Pacing::kTimed);
  EXPECT_EQ(clock.LengthMs(), 5000u);
  const struct { std::uint32_t at; std::uint64_t delivered; } cases[] = {
      {0, 10}, {4, 10}, {5, 30}, {14, 30}, {15, 50}, {1999, 50}, {2000, 60}, {2010, 90}, {4999, 90}, {5000, 100}};
  const std::uint32_t base = 0xFFFFFF00u;  // the tick wraps during play
  std::uint32_t elapsed = 0;
  clock.Play(base);
  for (const auto& c : cases) EXPECT_EQ(RunTo(clock, base, elapsed, c.at, 1), c.delivered) << c.at;
  EXPECT_TRUE(clock.Ended());
  // Timed, a file is not read through when it opens: its two ends only.
  struct Counted final : PlaybackBytes {
    std::uint64_t size = 1u << 30;
    std::uint64_t read = 0;
    bool fails = false;
    std::uint64_t Size() const override { return size; }
    std::size_t Read(std::uint64_t, unsigned char*, std::size_t capacity) override {
      read += capacity;
      return fails ? 0 : capacity;
    }
  } day;
  const TimedRead dayReads[] = {{0, 0}, {1u << 29, 43200000}, {(1u << 30) - 10, 86400000}};
  EXPECT_EQ(clock.Open(day, dayReads, 3), OpenResult::kOpened);
  EXPECT_LE(day.read, 8192u);
  EXPECT_EQ(clock.LengthMs(), 86400000u);
  day.fails = true;
  EXPECT_EQ(clock.Open(day, dayReads, 3), OpenResult::kUnreadable);
  EXPECT_EQ(clock.LengthMs(), 0u);
  const TimedRead backwards[] = {{0, 0}, {50, 10}, {40, 20}};
  EXPECT_EQ(clock.Open(file, backwards, 3), OpenResult::kTimingRefused);
  EXPECT_EQ(clock.pacing(), Pacing::kBytes);
}

TEST(PlaybackClock, WithoutCyclesBytesArriveAt9600Baud) {
  TextBytes file;
  for (int i = 0; i < 120; ++i) file.text += "$GPGGA," + std::string(71, '0') + "\r\n";  // 9600 bytes, no RMC
  recording::PlaybackClock clock;
  clock.Open(file, nullptr, 0);
  EXPECT_EQ(clock.pacing(), Pacing::kBytes);
  EXPECT_EQ(clock.LengthMs(), 10000u);
  std::uint32_t elapsed = 0;
  clock.Play(0);
  for (std::uint32_t t : {0u, 1u, 500u, 9999u, 10000u}) EXPECT_EQ(RunTo(clock, 0, elapsed, t), t * 960 / 1000) << t;
  EXPECT_TRUE(clock.Ended());
}

TEST(PlaybackClock, SpeedsStepPauseSeekAndText) {
  TextBytes file;
  file.text = Capture("nd-1005.log");
  const std::vector<std::uint64_t> starts = RmcStarts(file.text);
  // Play time after 1 s of wall time at each speed, from 0; Faster at xmax
  // and Slower at x1 change nothing.
  const struct { int faster; int slower; std::uint64_t playMs; const char* text; } speeds[] = {
      {0, 1, 1000, "0:00:01 / 0:00:17  x1"},  {1, 0, 2000, "0:00:02 / 0:00:17  x2"},
      {2, 0, 5000, "0:00:05 / 0:00:17  x5"},  {4, 1, 10000, "0:00:10 / 0:00:17  x10"},
      {4, 0, 17000, "0:00:17 / 0:00:17  end"},
  };
  for (const auto& s : speeds) {
    recording::PlaybackClock clock;
    clock.Open(file, nullptr, 0);
    ASSERT_EQ(clock.CycleCount(), starts.size());
    std::uint32_t elapsed = 0;
    clock.Play(0);
    for (int i = 0; i < s.faster; ++i) clock.Faster(0);
    for (int i = 0; i < s.slower; ++i) clock.Slower(0);
    RunTo(clock, 0, elapsed, 1000, 1000);
    EXPECT_EQ(clock.PositionMs(), s.playMs);
    EXPECT_EQ(Text(clock), s.text);
  }
  // As fast as taken: every call answers the next bytes, and play time is
  // that of the cycle they end in.
  recording::PlaybackClock clock;
  clock.Open(file, nullptr, 0);
  for (int i = 0; i < 9; ++i) clock.Faster(0);
  clock.Play(0);
  EXPECT_EQ(Text(clock), "0:00:00 / 0:00:17  xmax");
  const ByteRange first = clock.Due(0, starts[3] + 1);
  EXPECT_EQ(first.count, starts[3] + 1);
  EXPECT_EQ(clock.PositionMs(), 3000u);
  // Paused: a step is one cycle more.
  clock.Pause(0);
  EXPECT_EQ(Text(clock), "0:00:03 / 0:00:17  paused");
  EXPECT_EQ(clock.Due(0, 1 << 20).count, starts[4] - starts[3] - 1);
  clock.Step();
  EXPECT_EQ(clock.Due(0, 1 << 20).count, starts[5] - starts[4]);
  // A seek to 7.5 s shows cycles 0 to 7.
  EXPECT_EQ(clock.Seek(441, 0), starts[8]);  // 17 s * 0.441 = 7.497 s
  EXPECT_EQ(clock.Due(5000, 1 << 20).count, 0u) << "still paused";
  clock.Seek(1000, 0);
  EXPECT_TRUE(clock.Ended());
  clock.Pause(0);
  clock.Step();
  EXPECT_EQ(Text(clock), "0:00:17 / 0:00:17  end");

  // The last cycle taken at x50 before its second was over, then xmax: the
  // file ends at once instead of standing a second short of its end.
  recording::PlaybackClock late;
  late.Open(file, nullptr, 0);
  late.Play(0);
  for (int i = 0; i < 4; ++i) late.Faster(0);
  std::uint32_t wall = 0;
  RunTo(late, 0, wall, 330, 10);  // 16.5 s of play: every byte due, the end not yet
  ASSERT_EQ(late.Delivered(), file.text.size());
  ASSERT_FALSE(late.Ended());
  late.Faster(wall);
  EXPECT_EQ(late.Due(wall + 10, 1 << 20).count, 0u);
  EXPECT_TRUE(late.Ended()) << Text(late);
}

TEST(PlaybackClock, StepWhilePausedTakesOneBurstOfTimedReads) {
  TextBytes file;
  file.text = std::string(100, 'x');
  recording::PlaybackClock clock;
  clock.Open(file, kReads, 6);
  // Paused from the start: the first read is due at 0, then a burst a step.
  for (std::uint64_t delivered : {10u, 50u, 90u, 100u}) {
    std::uint32_t elapsed = 0;
    EXPECT_EQ(RunTo(clock, 0, elapsed, 3000), delivered);
    clock.Step();
  }
  EXPECT_TRUE(clock.Ended());
  EXPECT_EQ(clock.Seek(500, 0), 90u);  // 2.5 s: the reads to 2010 ms
  EXPECT_EQ(clock.Delivered(), 90u);
}

}  // namespace
}  // namespace trelvane::recording
