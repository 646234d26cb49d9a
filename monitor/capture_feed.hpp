// A capture saved by another tool, fed to the stream lexer as the receiver
// sent it. A receiver ends every sentence in CR LF; a capture stored with
// bare LFs lost the CRs on saving, and this puts them back before each LF
// that ends a line starting with '$', as trelvane-sim puts them back on the
// wire. Other bytes (notes, noise, binary frames) go on as they stand.
#pragma once

#include <cstddef>
#include <cstring>

namespace trelvane::monitor {

class CaptureFeed {
 public:
  // Feeds `count` bytes of the capture to `lexer`, which hands its lines
  // and frames to `sink`.
  template <class Lexer, class Sink>
  void Feed(const unsigned char* bytes, std::size_t count, Lexer& lexer, Sink& sink) {
    static const unsigned char kCr = '\r';
    std::size_t run = 0;  // where the bytes not yet fed begin
    for (std::size_t i = 0; i < count;) {
      if (lineStart_) sentence_ = bytes[i] == '$';
      const void* found = std::memchr(bytes + i, '\n', count - i);
      if (found == nullptr) {
        lineStart_ = false;
        previous_ = bytes[count - 1];
        break;
      }
      const std::size_t lineFeed = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
      const unsigned char before = lineFeed > 0 ? bytes[lineFeed - 1] : previous_;
      if (sentence_ && before != '\r') {
        FeedAll(bytes + run, lineFeed - run, lexer, sink);
        FeedAll(&kCr, 1, lexer, sink);
        run = lineFeed;
      }
      lineStart_ = true;
      previous_ = '\n';
      i = lineFeed + 1;
    }
    FeedAll(bytes + run, count - run, lexer, sink);
  }

 private:
  // The lexer stops early when the sink ends a line cut as too long; the
  // bytes after it start the next line.
  template <class Lexer, class Sink>
  static void FeedAll(const unsigned char* bytes, std::size_t count, Lexer& lexer, Sink& sink) {
    for (std::size_t at = 0; at < count;) at += static_cast<std::size_t>(lexer.Feed(bytes + at, static_cast<int>(count - at), sink));
  }

  bool lineStart_ = true;       // the next byte begins a line
  bool sentence_ = false;       // the line being read began with "$"
  unsigned char previous_ = 0;  // the byte before, as stored
};

}  // namespace trelvane::monitor
