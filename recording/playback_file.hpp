// A recorded file opened for playing back: read where its bytes lie (it may
// be 60 MB; it is never held whole), with its timing when a timing file
// stands beside it. Both monitors open theirs through this, by an 8-bit or
// a UTF-16 path.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "handles/owned.hpp"
#include "recording/playback_clock.hpp"

namespace trelvane::recording {

class PlaybackFile final : public PlaybackBytes {
 public:
  PlaybackFile() = default;
  PlaybackFile(const PlaybackFile&) = delete;
  PlaybackFile& operator=(const PlaybackFile&) = delete;
  ~PlaybackFile() = default;

  // Opens `path` for reading (others may go on writing it) and loads the
  // timing beside it, if any. False when the file cannot be opened.
  bool Open(const char* path);
  bool Open(const wchar_t* path);
  void Close();

  bool IsOpen() const { return file_.Valid(); }
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) override;

  // The recorded timing, empty when the file has none (or an unreadable one).
  const TimedRead* Reads() const { return reads_.empty() ? nullptr : reads_.data(); }
  std::size_t ReadCount() const { return reads_.size(); }

 private:
  template <class Ch>
  bool OpenPath(const Ch* path);
  void LoadTiming(HANDLE timing);

  handles::OwnedHandle file_;
  std::uint64_t size_ = 0;
  std::vector<TimedRead> reads_;
};

}  // namespace trelvane::recording
