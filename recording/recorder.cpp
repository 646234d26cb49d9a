#include "recording/recorder.hpp"

#include <shlobj.h>

#include <algorithm>

#include "ce/shell.hpp"

namespace trelvane::recording {

namespace {

// Timing records the writer encodes and writes at a time (4 KB).
constexpr std::size_t kRecordsPerWrite = 512;
// The writer looks at its flags at least this often, woken or not.
constexpr DWORD kWriterIdleMs = 1000;

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

// One recording's queue, files and outcome. The reader fills the queue (only
// while the recorder takes reads); the writer empties it into the files.
struct RecorderJob {
  RecordingRing ring;
  OwnedHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // set for each read queued and by Stop
  OwnedHandle recording;
  OwnedHandle timing;
  HWND window = nullptr;
  std::atomic<bool> finish{false};     // Stop asks the writer to write what is queued and end
  std::atomic<bool> abandoned{false};  // Stop gave up waiting: the writer tells nobody
  std::atomic<int> reason{static_cast<int>(RecordingStop::kNone)};  // whatever stopped it first
  std::atomic<unsigned long> error{0};  // the failed write's error, set before reason
  std::atomic<std::uint64_t> written{0};

  // The first reason stays.
  void Fail(RecordingStop why) {
    int none = static_cast<int>(RecordingStop::kNone);
    reason.compare_exchange_strong(none, static_cast<int>(why));
  }
  bool Failed() const { return reason.load() != static_cast<int>(RecordingStop::kNone); }
};

namespace {

// One write of `count` bytes (at most the queue's size); a failed or short
// one stops the recording with its reason.
bool WriteAll(RecorderJob& job, HANDLE file, const void* bytes, std::size_t count) {
  DWORD wrote = 0;
  if (!WriteFile(file, bytes, static_cast<DWORD>(count), &wrote, nullptr)) {
    const DWORD error = GetLastError();
    job.error.store(error);
    const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
    job.Fail(full ? RecordingStop::kDiskFull : RecordingStop::kWriteFailed);
    return false;
  }
  if (wrote != count) {
    job.Fail(RecordingStop::kWriteShort);
    return false;
  }
  return true;
}

// Writes every queued byte, then the records of the reads counted before
// them, whose bytes are therefore all written: the timing never names bytes
// the recording lacks. False when a write failed.
bool Drain(RecorderJob& job) {
  RecordingRing& ring = job.ring;
  const std::size_t reads = ring.QueuedReads();
  const unsigned char* piece = nullptr;
  for (std::size_t n = ring.PeekBytes(&piece); n > 0; n = ring.PeekBytes(&piece)) {
    if (!WriteAll(job, job.recording.Get(), piece, n)) return false;
    ring.DropBytes(n);
    job.written.fetch_add(n);
  }
  unsigned char records[kRecordsPerWrite * kTimingRecordBytes];
  for (std::size_t done = 0; done < reads;) {
    const std::size_t batch = std::min(reads - done, kRecordsPerWrite);
    for (std::size_t i = 0; i < batch; ++i) EncodeTiming(ring.ReadAt(i), records + i * kTimingRecordBytes);
    if (!WriteAll(job, job.timing.Get(), records, batch * kTimingRecordBytes)) return false;
    ring.DropReads(batch);
    done += batch;
  }
  return true;
}

// The writer: drains the queue each time it is woken, until Stop asks it to
// end, a read was refused or a write failed. Stop and a refusal are read
// before the drain, so every read queued before either is written. The
// window hears of every end it did not ask for. It holds its own share of
// the job, so a writer Stop gave up on ends on its own, closing the files.
void RunWriter(RecorderJob& job) {
  bool finished = false;
  bool refused = false;
  bool wrote = true;
  while (wrote && !finished && !refused) {
    WaitForSingleObject(job.wake.Get(), kWriterIdleMs);  // woken by each read and by Stop
    finished = job.finish.load();
    refused = job.Failed();
    wrote = Drain(job);
  }
  if (!finished && !job.abandoned.load()) PostMessageW(job.window, kMsgRecordingStopped, 0, 0);
}

}  // namespace

Recorder::Recorder() = default;

Recorder::~Recorder() { Stop(); }

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
  if (Recording() || !recording.Valid() || !timing.Valid()) return false;
  Stop();
  // A new job for each recording: a writer given up on keeps its own.
  auto job = std::make_shared<RecorderJob>();
  hung_ = false;
  job_ = job;
  if (!job->wake.Valid() || !WriteAll(*job, timing.Get(), kTimingMagic, sizeof kTimingMagic)) return false;

  // The reader takes nothing yet: its counts are set before it may.
  taken_ = 0;
  firstMs_ = 0;
  lastMs_ = 0;
  job->recording = std::move(recording);
  job->timing = std::move(timing);
  job->window = window;
  const bool started = writer_.Start([job](sync::StopGate&) { RunWriter(*job); },
                                     [job] {
                                       job->finish.store(true);
                                       SetEvent(job->wake.Get());
                                     });
  if (!started) {
    job->recording.Reset(nullptr);
    job->timing.Reset(nullptr);
    return false;
  }
  taking_.Reopen();  // publishes all of the above to the reader
  return true;
}

void Recorder::Take(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs) {
  if (count == 0 || !taking_.Enter()) return;
  if (!job_->Failed()) Queue(bytes, count, nowMs);
  taking_.Leave();
}

// A read is refused whole when the timing could not say where or when it
// came, or when the queue cannot hold it; the recording then ends with the
// reads before it.
void Recorder::Queue(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs) {
  RecorderJob& job = *job_;
  if (taken_ == 0) firstMs_ = nowMs;
  const std::uint32_t ms = nowMs - firstMs_;
  RecordingStop refused = RecordingStop::kNone;
  if (count > kMaxPlaybackBytes - taken_) {
    refused = RecordingStop::kTooLarge;
  } else if (ms < lastMs_) {
    refused = RecordingStop::kTooLong;  // the 32-bit milliseconds went round
  } else if (!job.ring.Put(bytes, count, TimedRead{static_cast<std::uint32_t>(taken_), ms})) {
    refused = RecordingStop::kFellBehind;
  }
  if (refused != RecordingStop::kNone) {
    job.Fail(refused);
    taking_.Close();  // from now on no read is taken
  } else {
    taken_ += count;
    lastMs_ = ms;
  }
  SetEvent(job.wake.Get());
}

std::uint64_t Recorder::Stop() {
  taking_.Shut();  // a Take only copies: it is out at once
  if (writer_.Running()) {
    if (!writer_.Stop(std::chrono::milliseconds(kStopWaitMs))) {
      // The writer's share keeps the queue and the files until it ends.
      job_->abandoned.store(true);
      hung_ = true;
    } else {
      job_->recording.Reset(nullptr);
      job_->timing.Reset(nullptr);
    }
  }
  return Bytes();
}

// Taking reads, unless the writer failed meanwhile: then no more are queued.
bool Recorder::Recording() const { return !taking_.Closed() && job_ != nullptr && !job_->Failed(); }

std::uint64_t Recorder::Bytes() const { return job_ != nullptr ? job_->written.load() : 0; }

RecordingStop Recorder::StopReason() const {
  if (hung_) return RecordingStop::kDiskHung;
  return job_ != nullptr ? static_cast<RecordingStop>(job_->reason.load()) : RecordingStop::kNone;
}

unsigned long Recorder::Error() const { return job_ != nullptr ? job_->error.load() : 0; }

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

}  // namespace trelvane::recording
