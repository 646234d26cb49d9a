#include "recording/recorder.hpp"

#include <shlobj.h>

#include <algorithm>

#include "ce/shell.hpp"

namespace trelvane::link {

namespace {

// Timing records the writer encodes and writes at a time (4 KB).
constexpr std::size_t kRecordsPerWrite = 512;

constexpr LONG kNoReason = static_cast<LONG>(RecordingStop::kNone);

HANDLE CreateNew(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE CreateNew(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Delete(const char* path) { DeleteFileA(path); }
void Delete(const wchar_t* path) { DeleteFileW(path); }

// Copies `text` to `out` (MAX_PATH units); the caller has checked it fits.
template <class Ch>
void CopyPath(const Ch* text, Ch* out) {
  int n = 0;
  for (; text[n] != Ch(0) && n + 1 < MAX_PATH; ++n) out[n] = text[n];
  out[n] = Ch(0);
}

}  // namespace

Recorder::Recorder()
    : ring_(std::make_unique<RecordingRing>()), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

template <class Ch>
bool Recorder::Start(const Ch* path, HWND window) {
  if (Recording()) return false;
  Stop();  // a recording the writer stopped is closed first
  pathA_[0] = 0;
  pathW_[0] = 0;
  Ch timingPath[MAX_PATH];
  if (!TimingPath(path, timingPath, MAX_PATH)) return false;

  OwnedHandle recording(CreateNew(path));
  if (!recording.Valid()) return false;
  OwnedHandle timing(CreateNew(timingPath));
  if (!timing.Valid()) {
    recording.Reset(nullptr);
    Delete(path);
    return false;
  }
  if constexpr (sizeof(Ch) == 1) {
    CopyPath(path, pathA_);
  } else {
    CopyPath(path, pathW_);
  }
  if (StartOn(std::move(recording), std::move(timing), window)) return true;
  // StartOn has closed both.
  Delete(timingPath);
  Delete(path);
  pathA_[0] = 0;
  pathW_[0] = 0;
  return false;
}

template bool Recorder::Start<char>(const char* path, HWND window);
template bool Recorder::Start<wchar_t>(const wchar_t* path, HWND window);

bool Recorder::StartOn(OwnedHandle recording, OwnedHandle timing, HWND window) {
  if (Recording() || !recording.Valid() || !timing.Valid() || !wake_.Valid()) return false;
  Stop();
  error_ = 0;
  InterlockedExchange(&reason_, kNoReason);
  if (!WriteAll(timing.Get(), kTimingMagic, sizeof kTimingMagic)) return false;

  // Neither thread touches the queue or the reader's counts now: the writer
  // has ended and Take sees that no reads are taken.
  ring_->Clear();
  taken_ = 0;
  firstMs_ = 0;
  lastMs_ = 0;
  written_.store(0);
  InterlockedExchange(&finish_, 0);
  recording_ = std::move(recording);
  timing_ = std::move(timing);
  window_ = window;
  writer_.Reset(CreateThread(nullptr, 0, &Recorder::WriterThread, this, 0, nullptr));
  if (!writer_.Valid()) {
    recording_.Reset(nullptr);
    timing_.Reset(nullptr);
    return false;
  }
  InterlockedExchange(&taking_, 1);  // publishes all of the above to the reader
  return true;
}

void Recorder::Take(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs) {
  InterlockedExchange(&inTake_, 1);
  if (taking_ != 0 && count > 0) Queue(bytes, count, nowMs);
  InterlockedExchange(&inTake_, 0);
}

// A read is refused whole when the timing could not say where or when it
// came, or when the queue cannot hold it; the recording then ends with the
// reads before it.
void Recorder::Queue(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs) {
  if (taken_ == 0) firstMs_ = nowMs;
  const std::uint32_t ms = nowMs - firstMs_;
  RecordingStop refused = RecordingStop::kNone;
  if (count > kMaxPlaybackBytes - taken_) {
    refused = RecordingStop::kTooLarge;
  } else if (ms < lastMs_) {
    refused = RecordingStop::kTooLong;  // the 32-bit milliseconds went round
  } else if (!ring_->Put(bytes, count, TimedRead{static_cast<std::uint32_t>(taken_), ms})) {
    refused = RecordingStop::kFellBehind;
  }
  if (refused != RecordingStop::kNone) {
    Fail(refused);
  } else {
    taken_ += count;
    lastMs_ = ms;
  }
  SetEvent(wake_.Get());
}

// The first reason stays; from now on no read is taken.
void Recorder::Fail(RecordingStop reason) {
  InterlockedCompareExchange(&reason_, static_cast<LONG>(reason), kNoReason);
  InterlockedExchange(&taking_, 0);
}

std::uint64_t Recorder::Stop() {
  InterlockedExchange(&taking_, 0);
  while (inTake_ != 0) Sleep(1);  // a Take only copies: it is out at once
  if (writer_.Valid()) {
    InterlockedExchange(&finish_, 1);
    SetEvent(wake_.Get());
    WaitForSingleObject(writer_.Get(), INFINITE);
    writer_.Reset(nullptr);
  }
  recording_.Reset(nullptr);
  timing_.Reset(nullptr);
  return written_.load();
}

DWORD WINAPI Recorder::WriterThread(void* self) {
  static_cast<Recorder*>(self)->Write();
  return 0;
}

// Drains the queue each time it is woken, until Stop asks it to end, a read
// was refused or a write failed. Stop and a refusal are read before the
// drain, so every read queued before either is written. The window hears of
// every end it did not ask for.
void Recorder::Write() {
  bool finished = false;
  bool refused = false;
  bool wrote = true;
  while (wrote && !finished && !refused) {
    WaitForSingleObject(wake_.Get(), INFINITE);
    finished = InterlockedCompareExchange(&finish_, 0, 0) != 0;
    refused = InterlockedCompareExchange(&reason_, kNoReason, kNoReason) != kNoReason;
    wrote = Drain();
  }
  if (!finished) PostMessageW(window_, kMsgRecordingStopped, 0, 0);
}

// Writes every queued byte, then the records of the reads counted before
// them, whose bytes are therefore all written: the timing never names bytes
// the recording lacks. False when a write failed.
bool Recorder::Drain() {
  const std::size_t reads = ring_->QueuedReads();
  const unsigned char* piece = nullptr;
  for (std::size_t n = ring_->PeekBytes(&piece); n > 0; n = ring_->PeekBytes(&piece)) {
    if (!WriteAll(recording_.Get(), piece, n)) return false;
    ring_->DropBytes(n);
    written_.fetch_add(n);
  }
  unsigned char records[kRecordsPerWrite * kTimingRecordBytes];
  for (std::size_t done = 0; done < reads;) {
    const std::size_t batch = std::min(reads - done, kRecordsPerWrite);
    for (std::size_t i = 0; i < batch; ++i) EncodeTiming(ring_->ReadAt(i), records + i * kTimingRecordBytes);
    if (!WriteAll(timing_.Get(), records, batch * kTimingRecordBytes)) return false;
    ring_->DropReads(batch);
    done += batch;
  }
  return true;
}

// One write of `count` bytes (at most the queue's size); a failed or short
// one stops the recording with its reason.
bool Recorder::WriteAll(HANDLE file, const void* bytes, std::size_t count) {
  DWORD wrote = 0;
  if (!WriteFile(file, bytes, static_cast<DWORD>(count), &wrote, nullptr)) {
    const DWORD error = GetLastError();
    error_ = error;
    const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
    Fail(full ? RecordingStop::kDiskFull : RecordingStop::kWriteFailed);
    return false;
  }
  if (wrote != count) {
    Fail(RecordingStop::kWriteShort);
    return false;
  }
  return true;
}

namespace {

bool DocumentsFolder(char* out) {
  return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, out));
}
bool DocumentsFolder(wchar_t* out) { return ce::SpecialFolderPath(nullptr, out, CSIDL_PERSONAL, TRUE) != FALSE; }

bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool IsFolder(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void MakeFolder(const char* path) { CreateDirectoryA(path, nullptr); }
void MakeFolder(const wchar_t* path) { CreateDirectoryW(path, nullptr); }

template <class Ch>
bool RecordingsFolderIn(Ch* out, int capacity) {
  Ch documents[MAX_PATH] = {};
  if (capacity <= 0 || !DocumentsFolder(documents)) return false;
  int n = 0;
  for (; documents[n] != Ch(0); ++n) {
    if (n + 1 >= capacity) {
      out[0] = Ch(0);
      return false;
    }
    out[n] = documents[n];
  }
  const bool endsInSeparator = n > 0 && out[n - 1] == Ch('\\');
  if (!PutAscii(out, capacity, n, endsInSeparator ? "Trelvane" : "\\Trelvane")) return false;
  MakeFolder(out);  // already there is fine; anything else shows below
  if (IsFolder(out)) return true;
  out[0] = Ch(0);
  return false;
}

template <class Ch>
bool NewRecordingPathIn(Ch* out, int capacity) {
  if (!RecordingsFolderIn(out, capacity)) return false;
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  const RecordingTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  char name[32] = {'\\'};
  if (!RecordingName(time, name + 1, static_cast<int>(sizeof name) - 1)) return false;
  int n = 0;
  while (out[n] != Ch(0)) ++n;
  return PutAscii(out, capacity, n, name);
}

}  // namespace

bool RecordingsFolder(char* out, int capacity) { return RecordingsFolderIn(out, capacity); }
bool RecordingsFolder(wchar_t* out, int capacity) { return RecordingsFolderIn(out, capacity); }
bool NewRecordingPath(char* out, int capacity) { return NewRecordingPathIn(out, capacity); }
bool NewRecordingPath(wchar_t* out, int capacity) { return NewRecordingPathIn(out, capacity); }

}  // namespace trelvane::link
