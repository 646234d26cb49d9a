// The lines a reader thread hands to the main window at once.
//
// A reader gathers the whole lines of what it read (and of what arrives
// within a short while after the first of them) and hands them over in one
// message, kMsgNmeaBatch, instead of one message per line: each synchronous
// cross-thread message is a round trip through the window system, and a
// receiver of today sends 40 to 150 lines a second.
//
// Ownership: the batch belongs to the reader thread. It is handed over with a
// synchronous SendMessage, so the main window reads it in place during the
// call and the reader neither writes nor frees it until the call returns. The
// reader keeps one batch for its whole life and refills it after each call.
// A handover waits for the main window, which also paces the reader at the
// rate the window takes lines, as one message per line did; a buffer passed
// on with PostMessage would need a second owner and a queue of its own.
//
// A batch knows its link: when that link has been closed since the batch was
// filled (the user pressed Close GPS, or reopened the port, while the reader
// waited to be handled), the rest of the batch is dropped, so no line of an
// old link reaches the window after the close.
#pragma once

#include "stream/stream_lexer.hpp"

namespace trelvane::link {

enum class RecordKind : unsigned char {
  kLine,   // a whole line as the cutter gives it: units, CR LF, zero
  kFrame,  // a binary frame's bytes as received (a receiver's binary answers)
};

template <class Ch>
class LineBatch {
 public:
  static constexpr int kCapacityUnits = 8192;
  static constexpr int kMaxRecords = 256;
  // Frames are rare (acknowledgements, a version answer): room for a few of
  // the longest, and always for one.
  static constexpr int kFrameCapacityBytes = 4 * stream::kMaxFrameBytes;

  struct Record {
    RecordKind kind;
    const Ch* text;              // a line: zero-terminated, `length` units before the zero
    const unsigned char* bytes;  // a frame: `length` bytes
    int length;
  };

  class Iterator {
   public:
    Iterator(const LineBatch* batch, int index) : batch_(batch), index_(index) {}
    Record operator*() const { return batch_->At(index_); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return index_ != other.index_; }

   private:
    const LineBatch* batch_;
    int index_;
  };

  // `closed(link)` answers whether the link that fills this batch has been
  // closed since; null means never.
  LineBatch(bool (*closed)(const void* link), const void* link) : closed_(closed), link_(link) {}
  LineBatch(const LineBatch&) = delete;
  LineBatch& operator=(const LineBatch&) = delete;

  // Appends a line of `length` units and a zero. False, and nothing added,
  // when it does not fit: the reader then hands the batch over and adds it
  // to the emptied batch.
  bool AddLine(const Ch* text, int length) {
    if (length < 0 || count_ == kMaxRecords || used_ + length + 1 > kCapacityUnits) return false;
    for (int i = 0; i < length; ++i) units_[used_ + i] = text[i];
    units_[used_ + length] = Ch(0);
    Note(RecordKind::kLine, used_, length);
    used_ += length + 1;
    return true;
  }

  // Appends a frame's `length` bytes; false, as for a line, when it does not fit.
  bool AddFrame(const unsigned char* bytes, int length) {
    if (length < 0 || count_ == kMaxRecords || frameUsed_ + length > kFrameCapacityBytes) return false;
    for (int i = 0; i < length; ++i) frameBytes_[frameUsed_ + i] = bytes[i];
    Note(RecordKind::kFrame, frameUsed_, length);
    frameUsed_ += length;
    return true;
  }

  void Clear() {
    count_ = 0;
    used_ = 0;
    frameUsed_ = 0;
  }

  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  bool LinkClosed() const { return closed_ != nullptr && closed_(link_); }
  Record At(int index) const {
    const int start = starts_[index];
    if (kinds_[index] == RecordKind::kFrame) return Record{RecordKind::kFrame, nullptr, frameBytes_ + start, lengths_[index]};
    return Record{RecordKind::kLine, units_ + start, nullptr, lengths_[index]};
  }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, count_); }

 private:
  void Note(RecordKind kind, int start, int length) {
    starts_[count_] = start;
    lengths_[count_] = length;
    kinds_[count_] = kind;
    ++count_;
  }

  bool (*closed_)(const void* link);
  const void* link_;
  int count_ = 0;
  int used_ = 0;
  int frameUsed_ = 0;
  int starts_[kMaxRecords] = {};
  int lengths_[kMaxRecords] = {};
  RecordKind kinds_[kMaxRecords] = {};
  Ch units_[kCapacityUnits] = {};
  unsigned char frameBytes_[kFrameCapacityBytes] = {};
};

// How long a reader may hold a line back to gather more behind it.
constexpr unsigned kGatherMs = 50;

// The reader's side of its batch, as the stream lexer's records come: a
// record goes in until the batch is full, when `handOver()` takes the batch
// and the record starts the next one. It remembers when the batch's first
// record came, so that the reader knows how long it may still gather.
template <class Ch>
class BatchFiller {
 public:
  BatchFiller(bool (*closed)(const void* link), const void* link) : batch_(closed, link) {}
  BatchFiller(const BatchFiller&) = delete;
  BatchFiller& operator=(const BatchFiller&) = delete;

  template <class HandOver>
  void AddLine(const Ch* line, int length, unsigned nowMs, HandOver&& handOver) {
    Add([&] { return batch_.AddLine(line, length); }, nowMs, handOver);
  }

  // A frame's bytes, as the stream lexer found them.
  template <class HandOver>
  void AddFrame(const unsigned char* frame, int length, unsigned nowMs, HandOver&& handOver) {
    Add([&] { return batch_.AddFrame(frame, length); }, nowMs, handOver);
  }

  // How much longer the batch may wait for more records: 0 when it is to be
  // handed over now. Never while a line is half read, so that a gap inside a
  // line is timed by the reads alone.
  unsigned GatherLeftMs(unsigned nowMs, bool midLine) const {
    const unsigned waited = nowMs - firstMs_;
    return midLine || waited >= kGatherMs ? 0 : kGatherMs - waited;
  }

  const LineBatch<Ch>& Batch() const { return batch_; }
  bool Empty() const { return batch_.Empty(); }
  void Clear() { batch_.Clear(); }

 private:
  template <class AddRecord, class HandOver>
  void Add(AddRecord&& add, unsigned nowMs, HandOver& handOver) {
    if (batch_.Empty()) firstMs_ = nowMs;
    if (add()) return;
    handOver();  // full: this record starts the next batch
    firstMs_ = nowMs;
    add();
  }

  LineBatch<Ch> batch_;
  unsigned firstMs_ = 0;
};

// Runs `onLine(text, length)` for each line of `batch` in order, and
// `onFrame(bytes, length)` for each frame, until the batch's link is found
// closed (which a handler may do, by closing it). Returns the number of
// records delivered.
template <class Ch, class OnLine, class OnFrame>
int DeliverBatch(const LineBatch<Ch>& batch, OnLine&& onLine, OnFrame&& onFrame) {
  int delivered = 0;
  for (const auto record : batch) {
    if (batch.LinkClosed()) break;
    if (record.kind == RecordKind::kLine) {
      onLine(record.text, record.length);
    } else {
      onFrame(record.bytes, record.length);
    }
    ++delivered;
  }
  return delivered;
}

}  // namespace trelvane::link
