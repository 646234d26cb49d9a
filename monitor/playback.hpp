// Playing a recorded receiver back through the monitor session: the bytes
// of the file go through the stream lexer and into the session line by line
// and frame by frame, as the reader's batches do, so a file shows exactly
// what the receiver would have shown. When they are due is the playback
// clock's (recording/playback_clock.hpp); the file is the caller's, read where
// its bytes lie and never held whole.
//
// A recording with its timing is played byte for byte as it was read. A
// file without (a capture saved by another tool) is played as that tool's
// receiver sent it: its sentences end in CR LF again, and its notes (lines
// starting with '#') are no receiver's and are skipped.
//
// A window owns one Playback beside its session and routes to it: Open,
// then on its timer Pump, which feeds what has fallen due and says in
// MsUntilDue when to call again; the File commands; Seek from the desktop's
// position bar; Close. Each answers the session's mask of what changed.
//
// A seek feeds the file again up to the new place: on the desktop from the
// last point kept before it (monitor/seek_points.hpp, read between pumps as
// the file plays), elsewhere, or before the first points are kept, from its
// start. In the first seconds of a long file, before its points are all
// read, a seek far past them feeds the fixes alone up to a span before its
// place and everything from there. Its page and fixes are the same;
// what only a whole reading knows is not: how many GGAs there were, where
// the log pane last emptied (it holds the same last lines, more or fewer),
// and what only the lines passed over told of the receiver.
// A seek is fed in slices of at most kSeekSliceMs, one per Pump, so that
// the window answers its messages between them, and a second seek simply
// starts over. The page shows the new place once the last slice is fed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "link/reader_counts.hpp"
#include "monitor/file_commands.h"
#include "monitor/monitor_session.hpp"
#include "monitor/replay_feed.hpp"
#include "monitor/seek_points.hpp"
#include "nmea/text.hpp"
#include "recording/playback_clock.hpp"

namespace trelvane::monitor {

// The File commands, the same in both monitors.
constexpr int kCmdRecord = TRELVANE_CMD_RECORD;
constexpr int kCmdPlayFile = TRELVANE_CMD_PLAY_FILE;
constexpr int kCmdPause = TRELVANE_CMD_PAUSE;
constexpr int kCmdStep = TRELVANE_CMD_STEP;
constexpr int kCmdFaster = TRELVANE_CMD_FASTER;
constexpr int kCmdSlower = TRELVANE_CMD_SLOWER;
constexpr int kCmdStopPlaying = TRELVANE_CMD_STOP_PLAYING;

// The file's name as the position text shows it.
constexpr int kPlaybackNameChars = 128;
// At most this much is fed per Pump, so that a file played at xmax leaves
// the window free between pumps.
constexpr std::size_t kPumpBytes = 16384;
// The longest a seek feeds in one go before the window's messages get their
// turn.
constexpr std::chrono::milliseconds kSeekSliceMs{30};
// An open reads a file without timing this much at a time between its looks
// at the clock.
constexpr std::uint64_t kIndexPieceBytes = 1u << 20;
// What a pump spends at most reading the file on for its seek points.
constexpr std::chrono::milliseconds kPointsSliceMs{25};

template <class Ch>
class Playback {
 public:
  explicit Playback(MonitorSession<Ch>& session) : session_(session) {}
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Starts `file` playing at `now`, at x1, from an empty page. `reads` (may
  // be null) is its recorded timing; it and `file` stay the caller's while
  // the file is open. `name` is the file's path or name. `result` says
  // whether it opened, and whether its timing was refused.
  // A large file without timing is read through for its cycles in slices,
  // one per Pump, as a seek is fed: `result` is then kIndexing, and the file
  // plays once the last slice is read (or the log pane says it cannot).
  unsigned Open(recording::PlaybackBytes& file, const recording::TimedRead* reads, std::size_t readCount, const Ch* name,
                std::uint32_t now, recording::OpenResult& result) {
    Close();
    result = clock_.BeginOpen(file, reads, readCount);
    if (result == recording::OpenResult::kTooLarge || result == recording::OpenResult::kUnreadable) return kNothing;
    file_ = &file;
    KeepName(name);
    finished_ = false;
    if (result != recording::OpenResult::kIndexing) return Started(now);
    indexing_ = true;
    return GoOnIndexing(now, &result);
  }

  // The file at `path`, once the caller has `opened` it as `file` with its
  // timing: it plays, or the log pane says "Cannot play PATH" (a file that
  // could not be opened, read or is too large).
  unsigned Play(recording::PlaybackBytes& file, bool opened, const recording::TimedRead* reads, std::size_t readCount,
                const Ch* path, std::uint32_t now) {
    recording::OpenResult result = recording::OpenResult::kUnreadable;
    if (opened) {
      const unsigned change = Open(file, reads, readCount, path, now, result);
      if (IsOpen()) return change;
    }
    return CannotPlay(path);
  }

  // The file closes; the page keeps its last data, and the log pane shows
  // every line the file delivered.
  unsigned Close() {
    if (file_ == nullptr) return kNothing;
    if (indexing_) {  // it never started: the page is as it was
      indexing_ = false;
      file_ = nullptr;
      return kNothing;
    }
    if (seeking_) {
      seeking_ = false;
      session_.EndReplay();
    }
    file_ = nullptr;
    if constexpr (kKeepsPoints) points_.Clear();
    return session_.LinkClosed() | kLogNow;
  }

  bool IsOpen() const { return file_ != nullptr; }
  const recording::PlaybackClock& Clock() const { return clock_; }

  // Feeds what has fallen due at `now` (at most kPumpBytes); at the file's
  // end, the last partial line is dropped as a link's would be, and the log
  // pane shows all the file delivered.
  unsigned Pump(std::uint32_t now) {
    if (file_ == nullptr) return kNothing;
    if (indexing_) return GoOnIndexing(now, nullptr);
    if (seeking_) return GoOnSeeking(now);
    return FeedDue(now, true);
  }

  // What Pump feeds once the file plays; `readPoints` lets the seek points
  // read on in the same turn, which a seek's last slice, having spent its
  // own time, leaves to the next.
  unsigned FeedDue(std::uint32_t now, bool readPoints) {
    unsigned change = kNothing;
    std::size_t left = kPumpBytes;
    while (left > 0) {
      const recording::ByteRange range = clock_.Due(now, left < sizeof piece_ ? left : sizeof piece_);
      if (range.count == 0) break;
      change |= Feed(range, now);
      left -= range.count;
    }
    if (!finished_ && clock_.Delivered() >= file_->Size()) {
      finished_ = true;
      change |= feed_.End(session_, now) | kLogNow;
    }
    if constexpr (kKeepsPoints) {
      if (readPoints && points_.Working()) points_.More(*file_, piece_, sizeof piece_, kPointsSliceMs, sliceBytes_);
    }
    return change;
  }

  // When a window's timer is to Pump again, in wall milliseconds from
  // `now` (at least 1): when the next bytes fall due, but at most half a
  // second while the file moves, so that the position text keeps up with
  // play time through a recorded silence; recording::kNeverMs while it stands
  // (paused, or at its end) until a command moves it.
  std::uint32_t WakeAfterMs(std::uint32_t now) {
    constexpr std::uint32_t kTextMs = 500;
    if (file_ == nullptr) return recording::kNeverMs;
    if (seeking_ || indexing_ || KeepingPoints()) return 1;
    const std::uint32_t due = clock_.MsUntilDue(now);
    const bool moving = !clock_.Paused() && !clock_.Ended();
    if (due == recording::kNeverMs && !moving) return recording::kNeverMs;
    return due == 0 ? 1 : due < kTextMs ? due : kTextMs;
  }

  // The position bar's place: thousandths of the length.
  // The file's path, as it was opened.
  const Ch* Path() const { return path_; }

  int PositionPermille() const {
    const std::uint64_t length = clock_.LengthMs();
    return length == 0 ? 1000 : static_cast<int>(clock_.PositionMs() * 1000 / length);
  }

  // One of the File commands (kCmdPause ... kCmdStopPlaying) at `now`. A
  // file that stands still (paused, stepped) shows in the log pane all it
  // has delivered, not only what the pane's last flush took.
  unsigned Command(int command, std::uint32_t now) {
    if (file_ == nullptr || (indexing_ && command != kCmdStopPlaying)) return kNothing;
    switch (command) {
      case kCmdPause:
        if (clock_.Paused()) {
          clock_.Play(now);
        } else {
          clock_.Pause(now);
          return kLogNow;
        }
        return kNothing;
      case kCmdStep:
        clock_.Step();
        return Pump(now) | kLogNow;
      case kCmdFaster:
        clock_.Faster(now);
        return kNothing;
      case kCmdSlower:
        clock_.Slower(now);
        return kNothing;
      case kCmdStopPlaying:
        return Close();
      default:
        return kNothing;
    }
  }

  // Moves to `permille` thousandths of the length: the page shows what
  // playing the file to there would have shown (it is fed again from the
  // last point kept before it, or the start, the log pane written once at
  // the end), then the file plays on at its speed, or stays paused. What is
  // fed in the first slice is answered at once; the rest goes on at each
  // Pump until Seeking() is false.
  unsigned Seek(std::uint32_t permille, std::uint32_t now) {
    if (file_ == nullptr || indexing_) return kNothing;
    seekTo_ = clock_.Seek(permille, now);
    seekAt_ = 0;
    seekChange_ = kNothing;
    seeking_ = true;
    session_.BeginReplay();
    Restart();
    takeUp_ = nullptr;
    wholeFrom_ = 0;
    if constexpr (kKeepsPoints) {
      if (const auto* point = points_.Before(seekTo_)) {
        // Past the points read so far (with all read, a place is never a
        // span past the last point before it), the place is fed whole from a
        // span before it, where the page has long come round to what it
        // shows there; the fixes alone before that.
        const std::uint64_t whole = points_.Span();
        const std::uint64_t fixesBytes = points_.FixesBytes();
        const std::uint64_t past = seekTo_ - point->offset;
        if (past > whole) {
          wholeFrom_ = seekTo_ - whole;
          if (fixesBytes != 0 && past > fixesBytes) {
            // So far past that the fixes the page keeps all lie after the
            // point: it is taken up without its fixes, and the fixes are fed
            // from a fresh cut of the file that holds them.
            session_.TakeUp(point->state, true);
            seekAt_ = seekTo_ - (fixesBytes > whole ? fixesBytes : whole);
            return GoOnSeeking(now);
          }
        }
        // From the point before the fixes the page is to keep, the fixes
        // alone; from the point before the place, everything.
        const auto& fixesFrom = points_.FixesFrom(*point);
        session_.TakeUp(fixesFrom.state, true);
        feed_ = fixesFrom.feed;
        seekAt_ = fixesFrom.offset;
        takeUp_ = point;
      }
    }
    return GoOnSeeking(now);
  }
  bool Seeking() const { return seeking_; }
  bool Indexing() const { return indexing_; }
  // Whether the file is still read between pumps for its seek points, and
  // how many are kept.
  bool KeepingPoints() const {
    if constexpr (kKeepsPoints) return points_.Working();
    return false;
  }
  int PointsKept() const {
    if constexpr (kKeepsPoints) return points_.Count();
    return 0;
  }
  // Seek points at least this many bytes apart in the files opened from now
  // (kLeastSpanBytes unless told): for a test that seeks in a small file.
  void KeepPointsEvery(std::uint64_t bytes) { leastSpan_ = bytes; }

  // At most this many bytes a slice of a seek, an open or the points'
  // reading, besides their time: for a test that watches them slice by
  // slice.
  void LimitSlice(std::uint64_t bytes) { sliceBytes_ = bytes; }

  // What the file has delivered, as a link's reader counts it.
  link::LinkCounts Counts() const {
    link::LinkCounts counts;
    counts.bytes = static_cast<unsigned long>(clock_.Delivered());
    counts.linesCut = feed_.linesCut;
    return counts;
  }

  // "NAME  P / L  x2" (`withName`) or "P / L  x2", zero-terminated and cut
  // to `capacity` units.
  int PositionText(Ch* out, int capacity, bool withName) const {
    if (capacity <= 0) return 0;
    int n = 0;
    if (withName) {
      for (int i = 0; name_[i] != Ch(0) && n < capacity - 3; ++i) out[n++] = name_[i];
      for (int i = 0; i < 2 && n < capacity - 1; ++i) out[n++] = Ch(' ');
    }
    out[n] = Ch(0);  // n < capacity: the clock's text goes after, or nothing does
    return n + clock_.PositionText(out + n, capacity - n);
  }

 private:
  static constexpr bool kKeepsPoints = MonitorBuild<Ch>::kKeepsPoints;
  struct NoPoints {
    using Point = void;
  };
  using Points = std::conditional_t<kKeepsPoints, SeekPoints<Ch>, NoPoints>;

  unsigned Feed(const recording::ByteRange& range, std::uint32_t now, bool fixesOnly = false) {
    const std::size_t got = file_->Read(range.offset, piece_, range.count);
    return feed_.Feed(piece_, got, session_, now, fixesOnly);
  }

  // The file plays from its start, at x1.
  unsigned Started(std::uint32_t now) {
    Restart();
    if constexpr (kKeepsPoints) points_.Begin(file_->Size(), feed_.asCaptured, leastSpan_);
    clock_.Play(now);
    return session_.PlaybackOpened(now);
  }

  // One slice of reading a file without timing for its cycles; when the
  // last is read, the file starts (`result`, when given, says how it went).
  unsigned GoOnIndexing(std::uint32_t now, recording::OpenResult* result) {
    const auto start = std::chrono::steady_clock::now();
    recording::OpenResult indexed = recording::OpenResult::kIndexing;
    while (indexed == recording::OpenResult::kIndexing && std::chrono::steady_clock::now() - start < kSeekSliceMs) {
      indexed = clock_.IndexMore(*file_, sliceBytes_ < kIndexPieceBytes ? sliceBytes_ : kIndexPieceBytes);
      if (sliceBytes_ < kIndexPieceBytes) break;
    }
    if (result != nullptr) *result = indexed;
    if (indexed == recording::OpenResult::kIndexing) return kNothing;
    indexing_ = false;
    if (indexed != recording::OpenResult::kUnreadable) return Started(now);
    file_ = nullptr;
    return CannotPlay(path_);
  }

  unsigned CannotPlay(const Ch* path) { return session_.NoteCannot("play", path); }

  // One slice of a seek: the fixes alone up to the point it takes up, then
  // everything up to its place. Once all is fed, the page shows the new
  // place and the changes of all its slices are answered together.
  unsigned GoOnSeeking(std::uint32_t now) {
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t sliceEnd = seekTo_ - seekAt_ > sliceBytes_ ? seekAt_ + sliceBytes_ : seekTo_;
    for (;;) {
      if constexpr (kKeepsPoints) {
        if (takeUp_ != nullptr && seekAt_ == takeUp_->offset) {
          session_.TakeUp(takeUp_->state, false);
          feed_ = takeUp_->feed;
          takeUp_ = nullptr;
        }
      }
      const bool fixesOnly = takeUp_ != nullptr || seekAt_ < wholeFrom_;
      const std::uint64_t stageEnd = takeUp_ != nullptr ? PointOffset() : fixesOnly ? wholeFrom_ : seekTo_;
      const std::uint64_t end = stageEnd < sliceEnd ? stageEnd : sliceEnd;
      if (seekAt_ >= end) break;
      const std::uint64_t left = end - seekAt_;
      const std::size_t count = static_cast<std::size_t>(left < sizeof piece_ ? left : sizeof piece_);
      seekChange_ |= Feed(recording::ByteRange{seekAt_, count}, now, fixesOnly);
      seekAt_ += count;
      if (std::chrono::steady_clock::now() - start >= kSeekSliceMs) break;
    }
    if (seekAt_ < seekTo_ || takeUp_ != nullptr) return kNothing;
    seeking_ = false;
    finished_ = false;
    const unsigned change = seekChange_ | session_.EndReplay();
    return change | FeedDue(now, false);
  }

  // The lexer and the capture's line state as at the file's first byte.
  void Restart() {
    feed_ = ReplayFeed<Ch>{};
    feed_.asCaptured = clock_.pacing() != recording::Pacing::kTimed;
  }

  std::uint64_t PointOffset() const {
    if constexpr (kKeepsPoints) return takeUp_->offset;
    return 0;
  }

  // The path, for a note, and the name after its last separator.
  void KeepName(const Ch* path) {
    int kept = 0;
    for (; path[kept] != Ch(0) && kept < kNoteChars - 32; ++kept) path_[kept] = path[kept];
    path_[kept] = Ch(0);
    const Ch* name = path;
    for (const Ch* at = path; *at != Ch(0); ++at) {
      if (*at == Ch('\\') || *at == Ch('/') || *at == Ch(':')) name = at + 1;
    }
    int n = 0;
    for (; name[n] != Ch(0) && n < kPlaybackNameChars - 1; ++n) name_[n] = name[n];
    name_[n] = Ch(0);
  }

  MonitorSession<Ch>& session_;
  recording::PlaybackClock clock_;
  recording::PlaybackBytes* file_ = nullptr;
  ReplayFeed<Ch> feed_;
  Points points_;
  // The point a seek takes up once the fixes are fed again up to it.
  const typename Points::Point* takeUp_ = nullptr;
  std::uint64_t leastSpan_ = kLeastSpanBytes;
  bool finished_ = false;
  bool seeking_ = false;
  bool indexing_ = false;
  std::uint64_t seekAt_ = 0;  // fed again so far
  std::uint64_t seekTo_ = 0;  // where play takes up again
  std::uint64_t wholeFrom_ = 0;  // before it, a seek feeds the fixes alone
  std::uint64_t sliceBytes_ = ~std::uint64_t{0};
  unsigned seekChange_ = kNothing;
  Ch name_[kPlaybackNameChars] = {};
  Ch path_[kNoteChars] = {};
  // Pumps take a few kilobytes at a time; a seek reads its gigabyte in
  // pieces this large.
  unsigned char piece_[65536] = {};
};

}  // namespace trelvane::monitor
