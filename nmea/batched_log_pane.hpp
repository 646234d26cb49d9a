// The log pane with its inserts gathered: sentences accepted while an insert
// is pending go into the pane together, by one insert, when the pane's owner
// flushes (on a timer, a few times a second). An insert into a visible pane
// costs about the same whatever its size, so a receiver sending thirty lines
// a second costs a few inserts a second instead of thirty.
//
// The pane's text after each flush is exactly what inserting line by line
// would have given: intake's line count is answered from the pane's count
// before the batch plus the line breaks the batch holds, so the pane is
// cleared where it would have been, and what a clear or a replaced text
// would have wiped is dropped with it.
#pragma once

#include "nmea/sinks.hpp"

namespace trelvane::nmea {

constexpr int kLogBatchChars = 8192;  // about thirty long sentences

template <class Ch>
class BatchedLogPane : public LogPane<Ch> {
 public:
  // `pane` takes the gathered text; `requestFlush` is called when a batch
  // starts, so that the owner flushes it soon.
  BatchedLogPane(LogPane<Ch>& pane, Callback requestFlush) : pane_(pane), requestFlush_(requestFlush) {}
  BatchedLogPane(const BatchedLogPane&) = delete;
  BatchedLogPane& operator=(const BatchedLogPane&) = delete;

  int LineCount() override { return length_ == 0 && !cleared_ ? pane_.LineCount() : baseLines_ + batchBreaks_; }

  // Emptying the pane (the hundred-line rule) waits for the flush too: a
  // fast stream empties it several times between two flushes, and only the
  // last one shows. Any other text is set at once.
  void SetText(const Ch* text) override {
    length_ = 0;
    batchBreaks_ = 0;
    if (text[0] == Ch(0)) {
      cleared_ = true;
      baseLines_ = kEmptyPaneLines;
      requestFlush_();
      return;
    }
    cleared_ = false;
    pane_.SetText(text);
  }

  // A text whose effect on the line count is not plain (a CR or LF other
  // than CR LF pairs) goes in at once, after the batch, so that the pane
  // itself counts it; so does a text too long for the batch.
  void ReplaceSelection(const Ch* text) override {
    int length = 0;
    const int breaks = PlainBreaks(text, length);
    if (breaks < 0 || length >= kLogBatchChars) {
      Flush();
      pane_.ReplaceSelection(text);
      return;
    }
    if (length_ + length >= kLogBatchChars) Flush();
    linesSinceFlush_ += breaks;
    if (length_ == 0) {
      if (!cleared_) baseLines_ = pane_.LineCount();
      requestFlush_();
    }
    for (int i = 0; i < length; ++i) batch_[length_ + i] = text[i];
    length_ += length;
    batch_[length_] = Ch(0);
    batchBreaks_ += breaks;
  }

  bool Pending() const { return length_ > 0 || cleared_; }

  // Empties the pane if it was to be emptied, then puts the gathered text
  // into it by one insert.
  void Flush() {
    if (cleared_) {
      cleared_ = false;
      static const Ch kEmpty[] = {Ch(0)};
      pane_.SetText(kEmpty);
    }
    if (length_ == 0) return;
    lastFlushLines_ = linesSinceFlush_;
    linesSinceFlush_ = 0;
    length_ = 0;
    batchBreaks_ = 0;
    pane_.ReplaceSelection(batch_);
  }

  // How many lines came to the pane for the last flush, those an emptying
  // wiped before it included: the owner flushes a busy stream less often.
  int LastFlushLines() const { return lastFlushLines_; }

 private:
  // The CR LF pairs of `text`, or -1 when it holds a CR or LF outside one;
  // `length` gets the text's length.
  static int PlainBreaks(const Ch* text, int& length) {
    int breaks = 0;
    bool plain = true;
    for (length = 0; text[length] != Ch(0); ++length) {
      if (text[length] == Ch('\r') && text[length + 1] == Ch('\n')) {
        ++breaks;
        ++length;
      } else if (text[length] == Ch('\r') || text[length] == Ch('\n')) {
        plain = false;
      }
    }
    return plain ? breaks : -1;
  }

  // An empty multi-line edit control counts one line.
  static constexpr int kEmptyPaneLines = 1;

  LogPane<Ch>& pane_;
  Callback requestFlush_;
  bool cleared_ = false;  // the pane is to be emptied at the next flush
  Ch batch_[kLogBatchChars] = {};
  int length_ = 0;
  int baseLines_ = 0;
  int batchBreaks_ = 0;
  int lastFlushLines_ = 0;
  int linesSinceFlush_ = 0;
};

}  // namespace trelvane::nmea
