// The recorder on the virtual-cable rig: every byte a real link reads, as
// read, in the recording, with its timing beside it; a recording that cannot
// go on stops, tells its window, and leaves the link running; the files a
// recording refuses to make; and where new recordings go.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/serial_link_desktop.hpp"
#include "link/serial_link_handheld.hpp"
#include "recording/recorder.hpp"
#include "recording/recording_format.hpp"
#include "tests/rig/rig.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace {

using trelvane::link::DesktopLink;
using trelvane::link::HandheldLink;
using trelvane::recording::kMsgRecordingStopped;
using trelvane::handles::OwnedHandle;
using trelvane::recording::Recorder;
using trelvane::recording::RecordingRing;
using trelvane::recording::RecordingStop;
using trelvane::recording::TimedRead;
using trelvane::rig::Cable;
using trelvane::rig::LineWindow;
using trelvane::rig::ReceiverEnd;
using trelvane::test::kGsa;

constexpr int kBaud57600 = 6;
constexpr DWORD kWaitMs = 5000;

const std::string kRmc = "$GPRMC,201500,A,2503.0000,N,12130.0000,E,0.0,0.0,081226,,,A*6B\r\n";

// A UBX frame (class 0x06, id 0x04, four bytes), with its checksum.
std::string UbxFrame() {
  std::string frame = {'\xB5', '\x62', '\x06', '\x04', '\x04', '\x00', '\x00', '\x00', '\x02', '\x00'};
  unsigned char a = 0, b = 0;
  for (std::size_t i = 2; i < frame.size(); ++i) {
    a = static_cast<unsigned char>(a + static_cast<unsigned char>(frame[i]));
    b = static_cast<unsigned char>(b + a);
  }
  return frame + static_cast<char>(a) + static_cast<char>(b);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A folder of the test's own in the temporary folder, removed at the end
// with the files in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char name[64];
    snprintf(name, sizeof name, "trelvane-recorder-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    path_ = std::string(temp) + name;
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA(File(found.cFileName).c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
  }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return file ? bytes.str() : "(missing)";
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  return static_cast<bool>(file << bytes);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<TimedRead> Timing(const std::string& path, bool* parsed) {
  const std::string bytes = ReadWhole(path);
  std::vector<TimedRead> reads;
  *parsed = trelvane::recording::ParseTiming(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), reads);
  return reads;
}

std::string ReasonText(const Recorder& recorder) {
  char text[64];
  recorder.Reason(text, sizeof text);
  return text;
}

// Handles the thread's messages (a link's batches among them) until the
// recorder's stop is posted to `window`.
bool WaitForStopped(HWND window, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.hwnd == window && message.message == kMsgRecordingStopped) return true;
      DispatchMessageW(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
}

struct DesktopTraits {
  using Link = DesktopLink;
  using Ch = char;
  static constexpr int kProgramCom = 5;
  static constexpr int kReceiverCom = 15;
  static std::string Port(const Cable& cable) { return cable.ProgramPort(); }
  static std::string Path(const std::string& path) { return path; }
};

struct HandheldTraits {
  using Link = HandheldLink;
  using Ch = wchar_t;
  static constexpr int kProgramCom = 7;
  static constexpr int kReceiverCom = 17;
  static std::wstring Port(const Cable& cable) { return cable.ProgramPortW(); }
  static std::wstring Path(const std::string& path) { return Wide(path); }
};

// A recorder the window owns, given to a link on a real port.
template <class Traits>
class RecordedLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
    ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
    ASSERT_EQ(link.OpenLink(window.Handle(), Traits::Port(cable).c_str(), kBaud57600, &recorder), 1);
  }
  void TearDown() override { link.CloseLink(); }

  ScratchFolder folder;
  Recorder recorder;  // before the link, which it outlives
  Cable cable{Traits::kProgramCom, Traits::kReceiverCom};
  ReceiverEnd receiver;
  LineWindow window{sizeof(typename Traits::Ch) > 1};
  typename Traits::Link link;
};

using Links = ::testing::Types<DesktopTraits, HandheldTraits>;
TYPED_TEST_SUITE(RecordedLink, Links);

TYPED_TEST(RecordedLink, AFailedWriteStopsTheRecordingTellsTheWindowAndLeavesTheLinkRunning) {
  // A recording whose file takes no writes (opened for reading only): the
  // writer's first write fails as on a removed card.
  const std::string path = this->folder.File("readonly.nmea");
  OwnedHandle recording(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
  OwnedHandle timing(CreateFileA((path + ".timing").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0,
                                 nullptr));
  ASSERT_TRUE(recording.Valid() && timing.Valid());
  ASSERT_TRUE(this->recorder.StartOn(std::move(recording), std::move(timing), this->window.Handle()));

  ASSERT_TRUE(this->receiver.Write(kGsa));
  ASSERT_TRUE(WaitForStopped(this->window.Handle(), kWaitMs)) << "no stop was posted";
  EXPECT_FALSE(this->recorder.Recording());
  EXPECT_EQ(this->recorder.StopReason(), RecordingStop::kWriteFailed);
  EXPECT_EQ(ReasonText(this->recorder), "a write failed (error 5)");
  EXPECT_EQ(this->recorder.Stop(), 0u);

  // The link delivers on.
  ASSERT_TRUE(this->receiver.Write(kRmc));
  ASSERT_TRUE(this->window.WaitForLines(2, kWaitMs)) << this->window.lines.size() << " lines";
  EXPECT_EQ(this->window.lines[1], trelvane::test::Delivered(kRmc));
  bool parsed = false;
  EXPECT_TRUE(Timing(path + ".timing", &parsed).empty());
  EXPECT_TRUE(parsed) << "the timing file holds more than its magic";
}

// The writer held up on a pipe nobody reads yet, as on a disk that stalls:
// the reads fill the queue, the one that no longer fits stops the recording,
// and once the pipe is read every read before that one comes out whole.
// A recorder whose recording goes into a pipe of 4 KB that nobody reads
// until the test does: a disk that stalls.
struct StalledDisk {
  StalledDisk() {
    HANDLE pipeRead = nullptr;
    HANDLE pipeWrite = nullptr;
    if (CreatePipe(&pipeRead, &pipeWrite, nullptr, 4096)) {
      readEnd.Reset(pipeRead);
      writeEnd.Reset(pipeWrite);
    }
  }
  // A new file of the folder's, for writing.
  OwnedHandle Make(const char* name) {
    return OwnedHandle(CreateFileA(folder.File(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0,
                                   nullptr));
  }
  bool Start(const char* timingName) {
    return readEnd.Valid() && recorder.StartOn(std::move(writeEnd), Make(timingName), window.Handle());
  }

  ScratchFolder folder;
  LineWindow window{false};
  Recorder recorder;
  OwnedHandle readEnd;
  OwnedHandle writeEnd;
};

TEST(Recorder, WhenTheDiskFallsBehindTheReadsBeforeTheOneRefusedAreAllWritten) {
  StalledDisk disk;
  Recorder& recorder = disk.recorder;
  OwnedHandle& readEnd = disk.readEnd;
  const HWND window = disk.window.Handle();
  const std::string timingPath = disk.folder.File("stalled.nmea.timing");
  ASSERT_TRUE(disk.Start("stalled.nmea.timing"));

  // Reads of 1000 bytes, each of its own byte, until one is refused.
  std::string taken;
  std::uint32_t ms = 0;
  while (recorder.Recording() && taken.size() < 16 * RecordingRing::kBytes) {
    const std::string read(1000, static_cast<char>('A' + ms % 26));
    recorder.Take(reinterpret_cast<const unsigned char*>(read.data()), read.size(), ms);
    if (recorder.Recording()) taken += read;
    ms += 10;
  }
  ASSERT_FALSE(recorder.Recording()) << "the queue never filled";
  EXPECT_GE(taken.size(), RecordingRing::kBytes - 1000);
  EXPECT_EQ(recorder.StopReason(), RecordingStop::kFellBehind);
  EXPECT_EQ(ReasonText(recorder), "the disk fell behind");

  // The pipe is read until the writer has written all it had and said so.
  std::string written;
  bool stopped = false;
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  while (GetTickCount64() < deadline && !(stopped && written.size() >= taken.size())) {
    DWORD waiting = 0;
    char piece[8192];
    DWORD got = 0;
    if (PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
        ReadFile(readEnd.Get(), piece, sizeof piece, &got, nullptr)) {
      written.append(piece, got);
    }
    stopped = stopped || WaitForStopped(window, got == 0 ? 5 : 0);
  }
  EXPECT_TRUE(stopped) << "no stop was posted";
  EXPECT_EQ(recorder.Stop(), taken.size());
  EXPECT_TRUE(written == taken) << written.size() << " bytes written of " << taken.size();

  bool parsed = false;
  const std::vector<TimedRead> reads = Timing(timingPath, &parsed);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(reads.size(), taken.size() / 1000);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].offset, i * 1000) << "read " << i;
    EXPECT_EQ(reads[i].ms, i * 10) << "read " << i;
  }
}

// A disk that does not answer holds the window no longer than Stop's limit:
// the writer, blocked on a pipe nobody reads, is left to it, nobody is told
// twice, and the next recording starts afresh beside it.
TEST(Recorder, StopGivesUpOnADiskThatDoesNotAnswer) {
  StalledDisk disk;
  Recorder& recorder = disk.recorder;
  ASSERT_TRUE(disk.Start("hung.nmea.timing"));
  const std::string read(1000, 'H');
  for (std::uint32_t ms = 0; ms < 200; ms += 10) {
    recorder.Take(reinterpret_cast<const unsigned char*>(read.data()), read.size(), ms);
  }
  Sleep(200);  // the writer is inside its write now, the pipe full
  const ULONGLONG before = GetTickCount64();
  recorder.Stop();
  const ULONGLONG waited = GetTickCount64() - before;
  EXPECT_GE(waited, trelvane::recording::kStopWaitMs - 100);
  EXPECT_LT(waited, trelvane::recording::kStopWaitMs + 1000);
  EXPECT_EQ(ReasonText(recorder), "the disk did not answer");

  ASSERT_TRUE(recorder.StartOn(disk.Make("next.nmea"), disk.Make("next.nmea.timing"), disk.window.Handle()));
  recorder.Take(reinterpret_cast<const unsigned char*>(kRmc.data()), kRmc.size(), 0);
  EXPECT_EQ(recorder.Stop(), kRmc.size());
  EXPECT_EQ(recorder.StopReason(), RecordingStop::kNone);
  // The first writer's write fails now and it ends, telling nobody: the
  // window has logged this recording's end already.
  disk.readEnd.Reset(nullptr);
  EXPECT_FALSE(WaitForStopped(disk.window.Handle(), 1500)) << "a stop was posted for a recording given up on";
}

// The milliseconds since the first read are 32 bits: a read that would go
// round them (after 49 days) ends the recording with the reads before it.
TEST(Recorder, AReadWhoseTimeNoLongerFitsStopsTheRecording) {
  ScratchFolder folder;
  LineWindow window{false};
  Recorder recorder;
  const std::string path = folder.File("long.nmea");
  ASSERT_TRUE(recorder.Start(path.c_str(), window.Handle()));
  const std::uint32_t start = 0xFFFFF000u;  // the system's tick itself may go round: that is fine
  const std::string reads[] = {kGsa, kRmc, UbxFrame()};
  const std::uint32_t ticks[] = {start, start + 0xF0000000u, start + 0x10u};
  for (int i = 0; i < 3; ++i) {
    recorder.Take(reinterpret_cast<const unsigned char*>(reads[i].data()), reads[i].size(), ticks[i]);
  }
  EXPECT_FALSE(recorder.Recording());
  EXPECT_TRUE(WaitForStopped(window.Handle(), kWaitMs));
  EXPECT_EQ(ReasonText(recorder), "the recording reached 49 days");
  EXPECT_EQ(recorder.Stop(), kGsa.size() + kRmc.size());
  EXPECT_EQ(ReadWhole(path), kGsa + kRmc);
  bool parsed = false;
  const std::vector<TimedRead> timing = Timing(path + ".timing", &parsed);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(timing.size(), 2u);
  EXPECT_EQ(timing[1].offset, kGsa.size());
  EXPECT_EQ(timing[1].ms, 0xF0000000u);
}

TEST(Recorder, StartMakesBothFilesNewOrNothing) {
  ScratchFolder folder;
  LineWindow window{false};
  Recorder recorder;
  ASSERT_TRUE(WriteWhole(folder.File("taken.nmea"), "keep"));
  ASSERT_TRUE(WriteWhole(folder.File("beside.nmea.timing"), "keep"));
  struct Case {
    const char* what;
    std::string path;
    std::string keptAt;  // a file already there, which must stay as it was
  };
  const Case cases[] = {
      {"the recording is there", folder.File("taken.nmea"), folder.File("taken.nmea")},
      {"its timing file is there", folder.File("beside.nmea"), folder.File("beside.nmea.timing")},
      {"no such folder", folder.File("missing\\x.nmea"), ""},
      // The longest path the system takes, whose timing file would be longer.
      {"no room for .timing", folder.File(std::string(MAX_PATH - 1 - folder.File("").size(), 'n')), ""},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(recorder.Start(c.path.c_str(), window.Handle())) << c.what;
    EXPECT_FALSE(recorder.Recording()) << c.what;
    EXPECT_EQ(std::string(recorder.Path<char>()), "") << c.what;
    if (!c.keptAt.empty()) {
      EXPECT_EQ(ReadWhole(c.keptAt), "keep") << c.what;
    }
    if (c.keptAt != c.path) {
      EXPECT_FALSE(Exists(c.path)) << c.what << ": the recording was left behind";
    }
  }

  // A new path works, and a second Start while recording is refused.
  const std::string path = folder.File("new.nmea");
  ASSERT_TRUE(recorder.Start(path.c_str(), window.Handle()));
  EXPECT_FALSE(recorder.Start(folder.File("other.nmea").c_str(), window.Handle()));
  EXPECT_FALSE(Exists(folder.File("other.nmea")));
  EXPECT_EQ(recorder.Stop(), 0u);
  EXPECT_EQ(ReadWhole(path + ".timing"), "TRVTIME1");
  // Once stopped, the same path is refused like any file already there.
  EXPECT_FALSE(recorder.Start(path.c_str(), window.Handle()));
  EXPECT_EQ(std::string(recorder.Path<char>()), "");
}

template <class Ch>
std::string Narrow(const Ch* text) {
  std::string narrow;
  for (; *text != Ch(0); ++text) narrow.push_back(static_cast<char>(*text));
  return narrow;
}

template <class Ch>
void CheckNewRecordingPath(const std::string& documents) {
  SYSTEMTIME before = {};
  GetLocalTime(&before);
  Ch path[MAX_PATH];
  ASSERT_TRUE(trelvane::recording::NewRecordingPath(path, MAX_PATH));
  SYSTEMTIME after = {};
  GetLocalTime(&after);
  const std::string made = Narrow(path);

  const std::string folder = documents + "\\Trelvane\\";
  ASSERT_EQ(made.substr(0, folder.size()), folder);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  // The name is the local time it was made at: names sort as times do.
  char earliest[32];
  char latest[32];
  ASSERT_TRUE(trelvane::recording::RecordingName({before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute,
                                              before.wSecond}, earliest, sizeof earliest));
  ASSERT_TRUE(trelvane::recording::RecordingName({after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute,
                                              after.wSecond}, latest, sizeof latest));
  const std::string name = made.substr(folder.size());
  EXPECT_LE(std::string(earliest), name);
  EXPECT_GE(std::string(latest), name);

  Ch tooSmall[16];
  EXPECT_FALSE(trelvane::recording::NewRecordingPath(tooSmall, static_cast<int>(sizeof tooSmall / sizeof(Ch))));
}

TEST(RecordingsFolder, NewRecordingsGoInTheDocumentsFolderUnderTrelvaneNamedForNow) {
  char documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, documents)));
  const std::string folder = std::string(documents) + "\\Trelvane";
  const bool wasThere = GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (wasThere) RemoveDirectoryA(folder.c_str());  // made again when empty; a user's recordings stay

  CheckNewRecordingPath<char>(documents);
  CheckNewRecordingPath<wchar_t>(documents);

  if (!wasThere) RemoveDirectoryA(folder.c_str());
}

}  // namespace
