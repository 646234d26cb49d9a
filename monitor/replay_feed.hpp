// A recording's bytes on their way into a monitor session: cut into lines
// and frames by the stream lexer, a capture's lost CRs put back on the way
// (monitor/capture_feed.hpp) and its notes skipped, the lines cut as too
// long counted. It is a value: a copy kept at a point of the file goes on
// from there exactly as the original would have, which is how a seek takes
// a recording up at a kept point.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor/capture_feed.hpp"
#include "monitor/monitor_session.hpp"
#include "nmea/sentence_intake.hpp"
#include "stream/stream_lexer.hpp"

namespace trelvane::monitor {

template <class Ch>
struct ReplayFeed {
  stream::StreamLexer<Ch> lexer;
  CaptureFeed capture;
  bool asCaptured = false;  // a file without timing, as another tool saved it
  unsigned long linesCut = 0;

  // `count` bytes of the file into `session` at `now`; the session's changes.
  // With `fixesOnly` only the lines that may give a fix reach the session
  // (frames do not): a seek feeding the fixes again, and nothing else.
  unsigned Feed(const unsigned char* bytes, std::size_t count, MonitorSession<Ch>& session, std::uint32_t now,
                bool fixesOnly) {
    unsigned change = kNothing;
    Sink sink{session, now, change, linesCut, asCaptured, fixesOnly};
    if (asCaptured) {
      capture.Feed(bytes, count, lexer, sink);
      return change;
    }
    for (std::size_t at = 0; at < count;) {
      at += static_cast<std::size_t>(lexer.Feed(bytes + at, static_cast<int>(count - at), sink));
    }
    return change;
  }

  // The file's end: the last partial line is dropped, as a link's would be.
  unsigned End(MonitorSession<Ch>& session, std::uint32_t now) {
    unsigned change = kNothing;
    Sink sink{session, now, change, linesCut, asCaptured, false};
    lexer.EndOfBurst(sink);
    return change;
  }

 private:
  // The lexer's sink: lines and frames into the session, in order.
  struct Sink {
    MonitorSession<Ch>& session;
    std::uint32_t now;
    unsigned& change;
    unsigned long& linesCut;
    bool asCaptured;
    bool fixesOnly;

    void OnLine(const Ch* line, int length) {
      if (asCaptured && line[0] == Ch('#')) return;
      if (fixesOnly && !nmea::MayGiveFix(line, length)) return;
      change |= session.TakeLine(line, length, now) & ~kAccepted;
    }
    void OnFrame(const unsigned char* frame, int length) {
      if (!fixesOnly) change |= session.TakeFrame(frame, length);
    }
    bool OnLineCut() {
      ++linesCut;
      return true;
    }
  };
};

}  // namespace trelvane::monitor
