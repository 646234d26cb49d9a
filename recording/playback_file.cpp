#include "recording/playback_file.hpp"

#include <utility>

#include "recording/recording_format.hpp"

namespace trelvane::recording {

namespace {

// A timing file longer than this is no recording's (a day's reads at ten a
// second take 7 MB).
constexpr std::uint64_t kMaxTimingBytes = 64u * 1024 * 1024;

template <class Ch>
HANDLE OpenForReading(const Ch* path) {
  if constexpr (sizeof(Ch) == 1) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  } else {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
}

std::uint64_t SizeOf(HANDLE file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

// The timing stands beside the file; a file without one plays as a capture.
template <class Ch>
bool PlaybackFile::OpenPath(const Ch* path) {
  Close();
  handles::OwnedHandle file(OpenForReading(path));
  if (!file.Valid()) return false;
  Ch timingPath[MAX_PATH];
  const handles::OwnedHandle timing(TimingPath(path, timingPath, MAX_PATH) ? OpenForReading(timingPath) : nullptr);
  LoadTiming(timing.Get());
  size_ = SizeOf(file.Get());
  file_ = std::move(file);
  return true;
}

bool PlaybackFile::Open(const char* path) { return OpenPath(path); }
bool PlaybackFile::Open(const wchar_t* path) { return OpenPath(path); }

// The timing is read whole, once: 8 bytes a read. One that does not parse
// is left out, and the file plays as a capture from elsewhere.
void PlaybackFile::LoadTiming(HANDLE timing) {
  reads_.clear();
  if (timing == nullptr || timing == INVALID_HANDLE_VALUE) return;
  const std::uint64_t size = SizeOf(timing);
  if (size > 0 && size <= kMaxTimingBytes) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    DWORD got = 0;
    if (ReadFile(timing, bytes.data(), static_cast<DWORD>(size), &got, nullptr) && got == size &&
        !ParseTiming(bytes.data(), bytes.size(), reads_)) {
      reads_.clear();
    }
  }
  reads_.shrink_to_fit();
}

void PlaybackFile::Close() {
  file_.Reset();
  size_ = 0;
  reads_.clear();
  reads_.shrink_to_fit();
}

std::size_t PlaybackFile::Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) {
  if (!file_.Valid()) return 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN)) return 0;
  DWORD got = 0;
  if (!ReadFile(file_.Get(), into, static_cast<DWORD>(capacity), &got, nullptr)) return 0;
  return got;
}

}  // namespace trelvane::recording
