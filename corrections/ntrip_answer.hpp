// What an NTRIP caster answers, read as it arrives in pieces of any size:
// the status line, the headers, then the body, de-chunked when HTTP/1.1
// chunked transfer carries it (a chunk's edge may fall anywhere in an RTCM
// frame, or in its own size line). Both protocol versions come here:
//
//   ICY 200 OK                 version 1 data; old casters send the data
//                              right after this line, with no blank line
//   SOURCETABLE 200 OK         version 1 table, after headers and a blank line
//   HTTP/1.x 200 OK            version 2 (or a version 1 caster answering in
//                              HTTP); Content-Type gnss/sourcetable is a table
//   HTTP/1.x 401 ...           the login was refused
//
// The body goes to the sink: sink.OnData(bytes, count) for corrections,
// sink.OnTable(bytes, count) for a source table. Portable, allocation-free,
// every line held bounded.
#pragma once

#include <cstddef>

namespace trelvane::corrections {

enum class AnswerKind {
  kPending,       // the status line or the headers are not all here yet
  kData,          // corrections follow
  kSourceTable,   // the caster's table follows (also its answer to an unknown mountpoint)
  kUnauthorized,  // 401: the user or password was refused
  kRefused,       // another HTTP status (see Status())
  kGarbage,       // not an answer a caster gives
};

class NtripAnswer {
 public:
  static constexpr int kLineBytes = 512;
  static constexpr int kMaxHeaders = 64;

  template <class Sink>
  void Feed(const unsigned char* data, std::size_t count, Sink& sink) {
    std::size_t i = 0;
    while (i < count) {
      switch (state_) {
        case State::kStatus:
        case State::kHeaders:
          if (!TakeHeaderByte(data[i++])) return;
          break;
        case State::kBody: {
          const std::size_t take = count - i < remaining_ ? count - i : remaining_;
          Deliver(data + i, take, sink);
          i += take;
          if (!untilClose_) remaining_ -= take;
          if (!untilClose_ && remaining_ == 0) state_ = chunked_ ? State::kChunkEnd : State::kEnded;
          break;
        }
        case State::kChunkSize:
        case State::kChunkEnd:
          if (!TakeChunkByte(data[i++])) return;
          break;
        case State::kEnded:
        case State::kStopped:
          return;
      }
    }
  }

  AnswerKind Kind() const { return kind_; }
  // The HTTP status (200 for ICY and SOURCETABLE); 0 until the status line is read.
  int Status() const { return status_; }
  // The body ended (a last chunk, or Content-Length reached): the caster
  // will send nothing more on this connection.
  bool Ended() const { return state_ == State::kEnded; }
  // The version 2 answer (HTTP), not an ICY or SOURCETABLE one.
  bool Http() const { return http_; }
  bool Chunked() const { return chunked_; }

 private:
  enum class State { kStatus, kHeaders, kBody, kChunkSize, kChunkEnd, kEnded, kStopped };

  template <class Sink>
  void Deliver(const unsigned char* bytes, std::size_t count, Sink& sink) {
    if (count == 0) return;
    if (kind_ == AnswerKind::kData) sink.OnData(bytes, count);
    if (kind_ == AnswerKind::kSourceTable) sink.OnTable(bytes, count);
  }

  // One byte of the status line or the headers; false when reading stops
  // here (a garbage answer).
  bool TakeHeaderByte(unsigned char byte) {
    if (byte == '\n') {
      if (length_ > 0 && line_[length_ - 1] == '\r') --length_;
      line_[length_] = '\0';
      const bool ok = state_ == State::kStatus ? TakeStatusLine() : TakeHeaderLine();
      length_ = 0;
      if (!ok) Stop(AnswerKind::kGarbage);
      return ok;
    }
    if (length_ >= kLineBytes - 1 || (state_ == State::kStatus && byte == 0)) {
      Stop(AnswerKind::kGarbage);
      return false;
    }
    line_[length_++] = static_cast<char>(byte);
    return true;
  }

  bool TakeStatusLine() {
    // The data follows at once: a frame may begin anywhere in it, so nothing
    // after this line is taken for a header. What a caster sends before its
    // first frame is left to the frame filter.
    if (Starts(line_, "ICY 200")) {
      status_ = 200;
      kind_ = AnswerKind::kData;
      StartBody();
      return true;
    }
    if (Starts(line_, "SOURCETABLE 200")) {
      status_ = 200;
      kind_ = AnswerKind::kSourceTable;
      state_ = State::kHeaders;
      return true;
    }
    if (Starts(line_, "HTTP/1.0 ") || Starts(line_, "HTTP/1.1 ")) {
      http_ = true;
      int status = 0;
      int at = 9;
      for (; at < 12 && line_[at] >= '0' && line_[at] <= '9'; ++at) status = status * 10 + (line_[at] - '0');
      if (at != 12) return false;
      status_ = status;
      // A refusal is known from its status line: some casters close the
      // connection right after it, with no headers and no blank line.
      if (status == 401) {
        Stop(AnswerKind::kUnauthorized);
      } else if (status != 200) {
        Stop(AnswerKind::kRefused);
      } else {
        state_ = State::kHeaders;
      }
      return true;
    }
    return false;
  }

  bool TakeHeaderLine() {
    if (length_ == 0) {
      if (!http_) {
        StartBody();
        return true;
      }
      if (kind_ == AnswerKind::kPending) kind_ = AnswerKind::kData;
      StartBody();
      return true;
    }
    if (++headers_ > kMaxHeaders) return false;
    if (HeaderIs("transfer-encoding") && Contains(ValueOf(), "chunked")) chunked_ = true;
    if (HeaderIs("content-type") && Contains(ValueOf(), "sourcetable")) kind_ = AnswerKind::kSourceTable;
    if (HeaderIs("content-length")) {
      contentLength_ = 0;
      haveLength_ = true;
      for (const char* v = ValueOf(); *v >= '0' && *v <= '9'; ++v) contentLength_ = contentLength_ * 10 + (*v - '0');
    }
    return true;
  }

  void StartBody() {
    if (chunked_) {
      state_ = State::kChunkSize;
      remaining_ = 0;
      sawDigit_ = false;
      inExtension_ = false;
    } else {
      state_ = State::kBody;
      untilClose_ = !(http_ && haveLength_);
      remaining_ = untilClose_ ? ~std::size_t{0} : contentLength_;
      if (!untilClose_ && remaining_ == 0) state_ = State::kEnded;
    }
  }

  // A chunk's size line ("1a;ext" CR LF) or the CR LF after its data.
  bool TakeChunkByte(unsigned char byte) {
    if (state_ == State::kChunkEnd) {
      if (byte == '\r') return true;
      if (byte != '\n') {
        Stop(AnswerKind::kGarbage);
        return false;
      }
      state_ = State::kChunkSize;
      remaining_ = 0;
      sawDigit_ = false;
      inExtension_ = false;
      return true;
    }
    if (byte == '\n') {
      if (!sawDigit_) {
        Stop(AnswerKind::kGarbage);
        return false;
      }
      state_ = remaining_ == 0 ? State::kEnded : State::kBody;
      untilClose_ = false;
      return true;
    }
    if (byte == '\r' || inExtension_) return true;
    if (byte == ';' && sawDigit_) {
      inExtension_ = true;
      return true;
    }
    const int digit = HexDigit(byte);
    if (digit < 0 || remaining_ > (kMaxChunk >> 4)) {
      Stop(AnswerKind::kGarbage);
      return false;
    }
    remaining_ = remaining_ * 16 + static_cast<std::size_t>(digit);
    sawDigit_ = true;
    return true;
  }

  void Stop(AnswerKind kind) {
    kind_ = kind;
    state_ = State::kStopped;
  }

  static int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
  static bool Starts(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
      if (*text != *prefix) return false;
    }
    return true;
  }
  static bool Contains(const char* text, const char* word) {
    for (; *text != '\0'; ++text) {
      int i = 0;
      while (word[i] != '\0' && Lower(text[i]) == word[i]) ++i;
      if (word[i] == '\0') return true;
    }
    return false;
  }
  bool HeaderIs(const char* name) const {
    int i = 0;
    for (; name[i] != '\0'; ++i) {
      if (Lower(line_[i]) != name[i]) return false;
    }
    return line_[i] == ':';
  }
  const char* ValueOf() const {
    const char* v = line_;
    while (*v != ':' && *v != '\0') ++v;
    if (*v == ':') ++v;
    while (*v == ' ' || *v == '\t') ++v;
    return v;
  }

  static constexpr std::size_t kMaxChunk = 1u << 24;

  State state_ = State::kStatus;
  AnswerKind kind_ = AnswerKind::kPending;
  int status_ = 0;
  bool http_ = false;
  bool chunked_ = false;
  bool haveLength_ = false;
  bool untilClose_ = true;
  bool sawDigit_ = false;
  bool inExtension_ = false;
  int headers_ = 0;
  std::size_t contentLength_ = 0;
  std::size_t remaining_ = 0;
  char line_[kLineBytes] = {};
  int length_ = 0;
};

}  // namespace trelvane::corrections
