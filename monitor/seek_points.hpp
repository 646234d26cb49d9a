// Points of a recording kept for seeking. A second session of its own (the
// shadow, with a page nobody sees) reads the file through from its start, a
// slice at a time between the window's messages while the file plays, and
// at every span of bytes keeps where a session then stands: the page, the
// intake, the receiver, the log pane's copy and the feed's line state. A
// seek takes up the last point before its place and feeds only the bytes
// after it, so a seek in a day's recording feeds a few megabytes, not a
// gigabyte and more.
//
// The accuracy page's fixes (up to kFixesKept) are too many to keep at every
// point. A seek forgets them down to an earlier point, the one at least
// kFixesKept fixes back, and feeds from there only the lines that may give
// a fix, which the stream lexer finds at about a gigabyte a second.
//
// At most kMostPoints points, at least kLeastSpanBytes apart: a day's 1.7 GB
// at 10 Hz keeps a point every 13 MB. A point is about 12 KB and its log
// copy (at most kReplayLogChars units); the shadow counts the fixes but
// keeps none. The shadow and the points keep their room from one file to
// the next, log copies included: a window that plays file after file
// allocates for its points once, not per play, and its heap does not break
// up under 64 KB copies freed and taken again.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "monitor/accuracy.hpp"
#include "monitor/data_age.hpp"
#include "monitor/monitor_session.hpp"
#include "monitor/replay_feed.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sinks.hpp"
#include "recording/playback_clock.hpp"

namespace trelvane::monitor {

constexpr std::size_t kMostPoints = 128;
constexpr std::uint64_t kLeastSpanBytes = 4u << 20;

template <class Ch>
class SeekPoints {
 public:
  struct Point {
    std::uint64_t offset = 0;
    ReplayFeed<Ch> feed;
    typename MonitorSession<Ch>::Point state;
  };

  // Starts on a file of `size` bytes, fed as `asCaptured` says: a point at
  // its start, then one every span of at least `leastSpan` bytes as More
  // reads on. A file under two spans keeps none: a seek feeds it whole
  // in less time than a point would save.
  void Begin(std::uint64_t size, bool asCaptured, std::uint64_t leastSpan) {
    Clear();
    const std::uint64_t even = (size + kMostPoints - 1) / kMostPoints;
    span_ = even > leastSpan ? even : leastSpan;
    if (span_ == 0 || size / 2 < span_) return;
    size_ = size;
    points_.reserve(kMostPoints + 1);
    if (shadow_ == nullptr) {
      shadow_ = std::make_unique<Shadow>();
      shadow_->session.CountFixesOnly();
    }
    shadow_->Start();
    shadow_->feed.asCaptured = asCaptured;
    working_ = true;
    KeepPoint();
  }

  // No points, none being read; their room stays for the next file.
  void Clear() {
    working_ = false;
    count_ = 0;
    frontier_ = 0;
    size_ = 0;
  }

  // Whether the file is still being read for its points.
  bool Working() const { return working_; }
  int Count() const { return static_cast<int>(count_); }
  std::uint64_t Span() const { return span_; }

  // About how many bytes of this file hold the fixes the accuracy page
  // keeps, half as many again for the file's unevenness, as far as it has
  // been read; 0 while it has given no fix.
  std::uint64_t FixesBytes() const {
    const std::uint64_t taken = shadow_ != nullptr ? shadow_->session.Fixes().Where().taken : 0;
    if (count_ == 0 || taken == 0) return 0;
    return frontier_ / taken * kFixesKept * 3 / 2 + 1;
  }

  // Reads `file` on from where the last call stopped, through `piece`, for
  // about `budget` or `most` bytes, keeping the points it passes. At the
  // file's end, or when a read fails, the shadow goes; the points kept so
  // far stay.
  void More(recording::PlaybackBytes& file, unsigned char* piece, std::size_t pieceSize, std::chrono::milliseconds budget,
            std::uint64_t most) {
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t stop = frontier_ + most > frontier_ ? frontier_ + most : ~std::uint64_t{0};
    while (working_) {
      const std::uint64_t next = points_[count_ - 1].offset + span_;
      const std::uint64_t end = next < size_ ? next : size_;
      const std::uint64_t left = end - frontier_;
      const std::size_t got = file.Read(frontier_, piece, left < pieceSize ? static_cast<std::size_t>(left) : pieceSize);
      if (got == 0) {
        working_ = false;
        return;
      }
      shadow_->feed.Feed(piece, got, shadow_->session, 0, false);
      frontier_ += got;
      if (frontier_ == size_) {
        working_ = false;
        return;
      }
      if (frontier_ == end) KeepPoint();
      if (frontier_ >= stop || std::chrono::steady_clock::now() - start >= budget) return;
    }
  }

  // The last point at or before `offset`, or nullptr when none is kept.
  const Point* Before(std::uint64_t offset) const {
    const Point* found = nullptr;
    for (std::size_t i = 0; i < count_ && points_[i].offset <= offset; ++i) found = &points_[i];
    return found;
  }

  // Where a seek to `point` starts feeding the fixes again: the last point
  // at least kFixesKept fixes before it, or the file's start.
  const Point& FixesFrom(const Point& point) const {
    const std::uint64_t taken = point.state.fixes.taken;
    const Point* from = &points_[0];
    for (std::size_t i = 0; i < count_; ++i) {
      const Point& earlier = points_[i];
      if (earlier.offset > point.offset || earlier.state.fixes.taken + kFixesKept > taken) break;
      from = &earlier;
    }
    return *from;
  }

 private:
  // The shadow's page: nothing shows it, and its log is only ever the copy.
  class NoPane final : public nmea::LogPane<Ch> {
   public:
    int LineCount() override { return 1; }
    void SetText(const Ch*) override {}
    void ReplaceSelection(const Ch*) override {}
  };
  struct Shadow {
    NoPane pane;
    typename MonitorSession<Ch>::Readout readout;
    nmea::SatelliteTable<Ch> satellites;
    DataAge age;
    MonitorSession<Ch> session{pane, readout, satellites, age};
    ReplayFeed<Ch> feed;

    // As a file opened for playing leaves a session: its page, intake,
    // receiver and fixes forgotten.
    void Start() {
      feed = ReplayFeed<Ch>{};
      session.PlaybackOpened(0);
      session.BeginReplay();
    }
  };

  void KeepPoint() {
    if (count_ == kMostPoints + 1) {  // never, as spans are worked out; but never past the room kept
      working_ = false;
      return;
    }
    if (count_ == points_.size()) points_.emplace_back();
    Point& point = points_[count_++];
    point.offset = frontier_;
    point.feed = shadow_->feed;
    shadow_->session.Keep(point.state);
  }

  std::unique_ptr<Shadow> shadow_;  // made at the first file with points, kept after
  bool working_ = false;
  std::vector<Point> points_;  // the first count_ are this file's
  std::size_t count_ = 0;
  std::uint64_t span_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t frontier_ = 0;  // where the shadow has read to
};

}  // namespace trelvane::monitor
