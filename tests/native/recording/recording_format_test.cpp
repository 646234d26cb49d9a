// A recording's timing file, the names of its two files, and the words for
// why a recording stopped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/recording_format.hpp"

namespace trelvane::recording {
namespace {

std::vector<unsigned char> TimingFile(const std::vector<recording::TimedRead>& reads) {
  std::vector<unsigned char> bytes(recording::kTimingMagic, recording::kTimingMagic + sizeof kTimingMagic);
  for (const TimedRead& read : reads) {
    unsigned char record[kTimingRecordBytes];
    EncodeTiming(read, record);
    bytes.insert(bytes.end(), record, record + kTimingRecordBytes);
  }
  return bytes;
}

template <class Ch>
std::string Narrow(const Ch* text) {
  std::string narrow;
  for (; *text != Ch(0); ++text) narrow.push_back(static_cast<char>(*text));
  return narrow;
}

template <class Ch>
std::basic_string<Ch> Widen(const std::string& text) {
  return std::basic_string<Ch>(text.begin(), text.end());
}

TEST(TimingFile, RecordsComeBackAsWritten) {
  const std::vector<std::vector<recording::TimedRead>> cases = {
      {},
      {{0, 0}},
      {{0, 0}, {82, 0}, {1106, 17}, {70000, 1000}},
      {{0, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu}},
  };
  for (const std::vector<recording::TimedRead>& reads : cases) {
    const std::vector<unsigned char> bytes = TimingFile(reads);
    std::vector<TimedRead> parsed;
    ASSERT_TRUE(recording::ParseTiming(bytes.data(), bytes.size(), parsed)) << reads.size() << " records";
    ASSERT_EQ(parsed.size(), reads.size());
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(parsed[i].offset, reads[i].offset) << "record " << i;
      EXPECT_EQ(parsed[i].ms, reads[i].ms) << "record " << i;
    }
  }
  // A record is the offset, then the milliseconds, each little-endian.
  unsigned char record[recording::kTimingRecordBytes] = {};
  recording::EncodeTiming(recording::TimedRead{0x04030201u, 0x0A0B0C0Du}, record);
  EXPECT_EQ(std::vector<unsigned char>(record, record + recording::kTimingRecordBytes),
            (std::vector<unsigned char>{0x01, 0x02, 0x03, 0x04, 0x0D, 0x0C, 0x0B, 0x0A}));
}

TEST(TimingFile, RefusesAWrongMagicAndAPartialRecord) {
  const std::vector<unsigned char> good = TimingFile({{0, 0}, {40, 5}});
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"part of the magic", std::vector<unsigned char>(good.begin(), good.begin() + 7)},
      {"another version", [&] { auto b = good; b[7] = '2'; return b; }()},
      {"a damaged first byte", [&] { auto b = good; b[0] = 't'; return b; }()},
      {"one byte of a record", std::vector<unsigned char>(good.begin(), good.begin() + 9)},
      {"a record and half", std::vector<unsigned char>(good.begin(), good.begin() + 20)},
      {"a byte too many", [&] { auto b = good; b.push_back(0); return b; }()},
  };
  for (const Case& c : cases) {
    std::vector<recording::TimedRead> parsed = {{1, 1}};
    EXPECT_FALSE(recording::ParseTiming(c.bytes.data(), c.bytes.size(), parsed)) << c.what;
    EXPECT_TRUE(parsed.empty()) << c.what;
  }
}

template <class Ch>
void CheckTimingPaths() {
  struct Case {
    const char* recording;
    int capacity;
    const char* expected;  // null: it does not fit
  };
  const Case cases[] = {
      {"20261208-201500.nmea", 64, "20261208-201500.nmea.timing"},
      {"C:\\Documents\\Trelvane\\20261208-201500.nmea", 260, "C:\\Documents\\Trelvane\\20261208-201500.nmea.timing"},
      {"x.nmea", 14, "x.nmea.timing"},  // exactly: 13 units and the zero
      {"x.nmea", 13, nullptr},
      {"x.nmea", 1, nullptr},
  };
  for (const Case& c : cases) {
    const std::basic_string<Ch> recording = Widen<Ch>(c.recording);
    Ch out[300];
    out[0] = Ch('?');
    const bool fits = TimingPath(recording.c_str(), out, c.capacity);
    EXPECT_EQ(fits, c.expected != nullptr) << c.recording << " in " << c.capacity;
    EXPECT_EQ(Narrow(out), c.expected != nullptr ? c.expected : "") << c.recording << " in " << c.capacity;
  }
}

TEST(RecordingNames, TheTimingFileIsTheRecordingsPathWithTimingAppended) {
  CheckTimingPaths<char>();
  CheckTimingPaths<char16_t>();
}

template <class Ch>
void CheckRecordingNames() {
  struct Case {
    RecordingTime time;
    int capacity;
    const char* expected;  // null: refused
  };
  const Case cases[] = {
      {{2026, 12, 8, 20, 15, 0}, 32, "20261208-201500.nmea"},
      {{2001, 1, 2, 3, 4, 5}, 32, "20010102-030405.nmea"},
      {{9999, 12, 31, 23, 59, 60}, 21, "99991231-235960.nmea"},  // a leap second, in exactly the room
      {{2026, 12, 8, 20, 15, 0}, 20, nullptr},
      {{2026, 13, 8, 20, 15, 0}, 32, nullptr},
      {{2026, 12, 0, 20, 15, 0}, 32, nullptr},
      {{2026, 12, 8, 24, 0, 0}, 32, nullptr},
      {{2026, 12, 8, 20, 60, 0}, 32, nullptr},
      {{10000, 1, 1, 0, 0, 0}, 32, nullptr},
      {{-1, 1, 1, 0, 0, 0}, 32, nullptr},
  };
  for (const Case& c : cases) {
    Ch out[32];
    out[0] = Ch('?');
    const bool made = RecordingName(c.time, out, c.capacity);
    EXPECT_EQ(made, c.expected != nullptr) << c.time.year << "-" << c.time.month << " in " << c.capacity;
    EXPECT_EQ(Narrow(out), c.expected != nullptr ? c.expected : "") << c.time.year << "-" << c.time.month;
  }
}

TEST(RecordingNames, ARecordingIsNamedForTheLocalTimeItStarted) {
  CheckRecordingNames<char>();
  CheckRecordingNames<char16_t>();
}

// The words themselves are the table's; what is worked out is the error's
// number, the empty text of no reason and the cut to the room given.
TEST(RecordingStopText, EachReasonInTheLogsWords) {
  struct Case {
    RecordingStop reason;
    unsigned long error;
    int capacity;
    const char* expected;
  };
  const Case cases[] = {
      {RecordingStop::kNone, 0, 64, ""},
      {RecordingStop::kWriteFailed, 1167, 64, "a write failed (error 1167)"},
      {RecordingStop::kFellBehind, 0, 9, "the disk"},  // cut to the room
  };
  for (const Case& c : cases) {
    wchar_t wide[64];
    char narrow[64];
    const int length = recording::RecordingStopText(c.reason, c.error, narrow, c.capacity);
    EXPECT_EQ(length, static_cast<int>(std::string(c.expected).size())) << c.expected;
    recording::RecordingStopText(c.reason, c.error, wide, c.capacity);
    EXPECT_EQ(std::string(narrow), c.expected);
    EXPECT_EQ(Narrow(wide), c.expected);
  }
}

}  // namespace
}  // namespace trelvane::recording
