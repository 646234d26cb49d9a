// The log pane as the monitor session writes it: the window's own pane, or,
// while a seek replays a recording up to its new place, a copy of what the
// pane would then hold. The copy goes into the pane by one call when the
// replay ends, so a seek across a long recording costs no insert into a
// window per line. The intake empties the pane past kLogPaneLineLimit
// lines, so the copy never holds more than that.
#pragma once

#include <vector>

#include "nmea/sinks.hpp"

namespace trelvane::monitor {

// A hundred lines of the longest sentence the intake takes, and notes.
constexpr int kReplayLogChars = 32768;

template <class Ch>
class LogRoute final : public nmea::LogPane<Ch> {
 public:
  explicit LogRoute(nmea::LogPane<Ch>& pane) : pane_(pane) {}
  LogRoute(const LogRoute&) = delete;
  LogRoute& operator=(const LogRoute&) = delete;

  // A pane counts its lines as an edit control does: one when empty, one
  // more for each CR LF.
  int LineCount() override { return replaying_ ? lines_ : pane_.LineCount(); }
  void SetText(const Ch* text) override {
    if (!replaying_) {
      pane_.SetText(text);
      return;
    }
    length_ = 0;
    lines_ = 1;
    Append(text);
  }
  void ReplaceSelection(const Ch* text) override {
    if (replaying_) {
      Append(text);
    } else {
      pane_.ReplaceSelection(text);
    }
  }

  // From here the lines go into the copy, which starts empty.
  void BeginReplay() {
    replaying_ = true;
    length_ = 0;
    lines_ = 1;
    text_[0] = Ch(0);
  }
  // The copy replaces what the pane held; lines go to the pane again.
  void EndReplay() {
    replaying_ = false;
    pane_.SetText(text_);
  }
  bool Replaying() const { return replaying_; }

  // The copy as it stands, and the copy taken up from one kept at a point
  // of a recording (while a seek replays).
  void Keep(std::vector<Ch>& text, int& lines) const {
    text.assign(text_, text_ + length_);
    lines = lines_;
  }
  void TakeUp(const std::vector<Ch>& text, int lines) {
    length_ = static_cast<int>(text.size() < kReplayLogChars - 1 ? text.size() : kReplayLogChars - 1);
    for (int i = 0; i < length_; ++i) text_[i] = text[static_cast<std::size_t>(i)];
    text_[length_] = Ch(0);
    lines_ = lines;
  }

 private:
  void Append(const Ch* text) {
    for (; *text != Ch(0) && length_ < kReplayLogChars - 1; ++text) {
      if (*text == Ch('\n') && length_ > 0 && text_[length_ - 1] == Ch('\r')) ++lines_;
      text_[length_++] = *text;
    }
    text_[length_] = Ch(0);
  }

  nmea::LogPane<Ch>& pane_;
  bool replaying_ = false;
  int length_ = 0;
  int lines_ = 1;
  Ch text_[kReplayLogChars] = {};
};

}  // namespace trelvane::monitor
