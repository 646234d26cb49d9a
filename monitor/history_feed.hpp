// A file's history read from its bytes: the stream lexer (binary frames out)
// hands each line to the history's builder with the offset just past it, so
// that a played file's charts can end where the play stands. The playback's
// shadow and trelvane-decode read a file through this.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "monitor/capture_feed.hpp"
#include "monitor/history.hpp"
#include "recording/playback_clock.hpp"
#include "stream/stream_lexer.hpp"

namespace trelvane::monitor {

class HistoryFeed {
 public:
  explicit HistoryFeed(History& history) : builder_(history) {}
  HistoryFeed(const HistoryFeed&) = delete;
  HistoryFeed& operator=(const HistoryFeed&) = delete;

  // From the file's start again, the history emptied.
  void Restart() {
    builder_.Clear();
    lexer_ = stream::StreamLexer<char>();
    capture_ = CaptureFeed();
    read_ = 0;
  }

  // The file's next `count` bytes, in order.
  void Feed(const unsigned char* bytes, std::size_t count) {
    // A line at a time, so that each knows where it ends.
    while (count > 0) {
      const void* found = std::memchr(bytes, '\n', count);
      const std::size_t piece = found != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes) + 1 : count;
      read_ += piece;
      capture_.Feed(bytes, piece, lexer_, *this);
      bytes += piece;
      count -= piece;
    }
  }

  // The file ended: the last second is kept.
  void Finish() {
    lexer_.GiveBackCandidate(*this);
    builder_.Finish();
  }

  std::uint64_t Read() const { return read_; }

  // The stream lexer's sink.
  void OnLine(const char* line, int length) { builder_.Line(line, length, read_); }
  void OnFrame(const unsigned char*, int) {}
  bool OnLineCut() { return true; }

 private:
  HistoryBuilder<char> builder_;
  stream::StreamLexer<char> lexer_;
  CaptureFeed capture_;
  std::uint64_t read_ = 0;
};

// A played file's history, read through from its start in slices between the
// window's other work, as the seek points' shadow reads it: the charts end at
// the play position, and after a seek show what the file holds up to there
// as soon as this has read that far.
class HistoryShadow {
 public:
  explicit HistoryShadow(History& history) : feed_(history) {}

  void Start(recording::PlaybackBytes& file) {
    file_ = &file;
    feed_.Restart();
    at_ = 0;
  }
  void Stop() { file_ = nullptr; }
  bool Reading() const { return file_ != nullptr; }

  // Reads on for about `budget`; true when it read anything. The file's end
  // (or a read that fails) finishes the history.
  bool More(std::chrono::steady_clock::duration budget) {
    if (file_ == nullptr) return false;
    const auto start = std::chrono::steady_clock::now();
    bool read = false;
    do {
      const std::size_t got = at_ < file_->Size() ? file_->Read(at_, piece_, sizeof piece_) : 0;
      if (got == 0) {
        feed_.Finish();
        file_ = nullptr;
        return true;
      }
      feed_.Feed(piece_, got);
      at_ += got;
      read = true;
    } while (std::chrono::steady_clock::now() - start < budget);
    return read;
  }

 private:
  HistoryFeed feed_;
  recording::PlaybackBytes* file_ = nullptr;
  std::uint64_t at_ = 0;
  unsigned char piece_[65536];
};

}  // namespace trelvane::monitor
