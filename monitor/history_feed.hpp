// A file's history read from its bytes: the stream lexer (binary frames out)
// hands each line to the history's builder with the offset just past it, so
// that a played file's charts can end where the play stands. The playback's
// shadow and trelvane-decode read a file through this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "monitor/capture_feed.hpp"
#include "monitor/history.hpp"
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

}  // namespace trelvane::monitor
