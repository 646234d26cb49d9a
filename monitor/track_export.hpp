// A recording's track exported, read in slices of any size: the bytes go
// through the monitors' own stream lexer (binary frames out) and the track's
// cycles into one of the three formats. The monitor's Export Track and
// trelvane-decode both write through this, so both give the same bytes.
#pragma once

#include <cstddef>

#include "monitor/capture_feed.hpp"
#include "monitor/track_cycles.hpp"
#include "monitor/track_formats.hpp"
#include "stream/stream_lexer.hpp"

namespace trelvane::monitor {

template <class Out>
class TrackExport {
 public:
  // `name` (the recording's file name) names the track; it must outlive
  // the export.
  TrackExport(TrackFormat format, const char* name, Out& out) : writer_(format, name, out), cycles_(writer_) {}
  TrackExport(const TrackExport&) = delete;
  TrackExport& operator=(const TrackExport&) = delete;

  void Feed(const unsigned char* bytes, std::size_t count) { capture_.Feed(bytes, count, lexer_, *this); }

  // The recording ended: the rest goes out. False when a write failed.
  bool Finish() {
    lexer_.GiveBackCandidate(*this);
    cycles_.Finish();
    return writer_.End();
  }

  long long Points() const { return writer_.Points(); }

  // The stream lexer's sink.
  void OnLine(const char* line, int length) { cycles_.Line(line, length); }
  void OnFrame(const unsigned char*, int) {}
  bool OnLineCut() { return true; }

 private:
  TrackWriter<Out> writer_;
  TrackCycles<TrackWriter<Out>> cycles_;
  stream::StreamLexer<char> lexer_;
  CaptureFeed capture_;
};

}  // namespace trelvane::monitor
