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

#include "link/stream_lexer.hpp"

namespace trelvane::link {

enum class RecordKind : unsigned char {
  kLine,   // a whole line as the cutter gives it: bytes, CR LF, zero
  kFrame,  // a binary frame's bytes, one unit each (for a receiver's binary answers)
};

template <class Ch>
class LineBatch {
 public:
  static constexpr int kCapacityUnits = 8192;
  static constexpr int kMaxRecords = 256;

  struct Record {
    RecordKind kind;
    const Ch* text;  // zero-terminated; `length` units before the zero
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

  // Appends a record of `length` units and a zero. False, and nothing added,
  // when it does not fit: the reader then hands the batch over and adds it
  // to the emptied batch.
  bool Add(RecordKind kind, const Ch* text, int length) {
    if (length < 0 || count_ == kMaxRecords || used_ + length + 1 > kCapacityUnits) return false;
    for (int i = 0; i < length; ++i) units_[used_ + i] = text[i];
    units_[used_ + length] = Ch(0);
    starts_[count_] = used_;
    lengths_[count_] = length;
    kinds_[count_] = kind;
    ++count_;
    used_ += length + 1;
    return true;
  }

  void Clear() {
    count_ = 0;
    used_ = 0;
  }

  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  bool LinkClosed() const { return closed_ != nullptr && closed_(link_); }
  Record At(int index) const { return Record{kinds_[index], units_ + starts_[index], lengths_[index]}; }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, count_); }

 private:
  bool (*closed_)(const void* link);
  const void* link_;
  int count_ = 0;
  int used_ = 0;
  int starts_[kMaxRecords] = {};
  int lengths_[kMaxRecords] = {};
  RecordKind kinds_[kMaxRecords] = {};
  Ch units_[kCapacityUnits] = {};
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
    Add(RecordKind::kLine, line, length, nowMs, handOver);
  }

  // A frame's bytes, one unit each.
  template <class HandOver>
  void AddFrame(const unsigned char* frame, int length, unsigned nowMs, HandOver&& handOver) {
    if constexpr (sizeof(Ch) == 1) {
      Add(RecordKind::kFrame, reinterpret_cast<const Ch*>(frame), length, nowMs, handOver);
    } else {
      const int units = length < kFrameUnits ? length : kFrameUnits;
      for (int i = 0; i < units; ++i) frameUnits_[i] = static_cast<Ch>(frame[i]);
      Add(RecordKind::kFrame, frameUnits_, units, nowMs, handOver);
    }
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
  static constexpr int kFrameUnits = kMaxFrameBytes;

  template <class HandOver>
  void Add(RecordKind kind, const Ch* text, int length, unsigned nowMs, HandOver& handOver) {
    if (batch_.Empty()) firstMs_ = nowMs;
    if (batch_.Add(kind, text, length)) return;
    handOver();  // full: this record starts the next batch
    firstMs_ = nowMs;
    batch_.Add(kind, text, length);
  }

  LineBatch<Ch> batch_;
  unsigned firstMs_ = 0;
  Ch frameUnits_[sizeof(Ch) == 1 ? 1 : kFrameUnits] = {};
};

// Runs `onLine(text)` for each line of `batch` in order, and `onFrame(text,
// length)` for each frame, until the batch's link is found closed (which a
// handler may do, by closing it). Returns the number of records delivered.
template <class Ch, class OnLine, class OnFrame>
int DeliverBatch(const LineBatch<Ch>& batch, OnLine&& onLine, OnFrame&& onFrame) {
  int delivered = 0;
  for (const auto record : batch) {
    if (batch.LinkClosed()) break;
    if (record.kind == RecordKind::kLine) {
      onLine(record.text);
    } else {
      onFrame(record.text, record.length);
    }
    ++delivered;
  }
  return delivered;
}

}  // namespace trelvane::link
