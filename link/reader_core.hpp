// What the reader threads of both serial links do with the bytes they read:
// cut them into lines and binary frames (the stream lexer), gather those
// into a batch, hand the batch to the window, count what came, and hand
// each read as it came to the window's recorder. The links differ only in
// how they wait for and read their port.
//
// Ownership: what a link shares with its reader thread (the window, the
// counts, the recorder, each link's own way of being told to stop) lives in
// one object held by std::shared_ptr, by the link until it closes and by the
// thread until it ends; whichever lets go last frees it. The thread's own
// buffers (the lexer, the batch, the bytes of the last read) are the
// thread's alone.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

#include "handles/owned.hpp"
#include "link/line_batch.hpp"
#include "link/reader_census.hpp"
#include "link/reader_counts.hpp"
#include "receiver/link_settings.hpp"
#include "recording/recorder.hpp"
#include "stream/stream_lexer.hpp"
#include "sync/stop_gate.hpp"
#include "sync/worker.hpp"

namespace trelvane::link {

// What a link shares with its reader: the window the batches go to, the
// counts the link's health reads, and the recorder each read goes to.
struct ReaderShared {
  ReaderShared(HWND target, recording::Recorder* recordTo) : window(target), recorder(recordTo) {}
  ReaderShared(const ReaderShared&) = delete;
  ReaderShared& operator=(const ReaderShared&) = delete;

  // Reader thread: hands a read to the recorder, if there is one and the
  // link is still open (a recorder that is not recording ignores it).
  void Record(const unsigned char* bytes, DWORD count) {
    if (recorder == nullptr || !recorderGate.Enter()) return;
    recorder->Take(bytes, count, GetTickCount());
    recorderGate.Leave();
  }

  // The link, as it closes: once this returns its reader hands the recorder
  // nothing more, so a reopened link's reader is the only one that does.
  // The wait is for one Take, which never waits.
  void DropRecorder() { recorderGate.Shut(); }

  HWND window;
  ReaderCounters counts;
  // The window's (it outlives the link), or null.
  recording::Recorder* const recorder;
  sync::StopGate recorderGate;
};

// The reader thread's side: the lexer's sink, the batch and the last read.
template <class Ch>
class ReaderCore {
 public:
  static constexpr DWORD kChunkBytes = 1024;

  // `closed(link)` tells whether the link that reads into this core has been
  // closed: from then on nothing more is handed to the window. With
  // `lineCutEndsRead`, a line dropped as too long ends the bytes taken from
  // the last read there (the rest wait for the next attempt).
  ReaderCore(ReaderShared& shared, bool (*closed)(const void* link), const void* link, bool lineCutEndsRead)
      : shared_(shared), batch_(closed, link), lineCutEndsRead_(lineCutEndsRead) {}
  ReaderCore(const ReaderCore&) = delete;
  ReaderCore& operator=(const ReaderCore&) = delete;

  // How much to ask the driver for when it holds `queued` bytes: what it
  // holds (a read that returns at once), or one byte to wait for.
  static DWORD WantFor(DWORD queued) {
    if (queued == 0) return 1;
    return queued < kChunkBytes ? queued : kChunkBytes;
  }

  unsigned char* Chunk() { return chunk_; }
  // The last read's bytes have all been cut.
  bool ChunkDone() const { return next_ == count_; }
  // A read put `got` bytes into Chunk(); they are recorded as read.
  void Read(DWORD got) {
    shared_.counts.AddBytes(got, GetTickCount());
    shared_.Record(chunk_, got);
    count_ = got;
    next_ = 0;
  }

  // Cuts the rest of the last read. False when a line dropped as too long
  // ended the cutting (only with `lineCutEndsRead`).
  bool Cut() {
    lineCut_ = false;
    next_ += static_cast<DWORD>(lexer_.Feed(chunk_ + next_, static_cast<int>(count_ - next_), *this));
    return !(lineCut_ && lineCutEndsRead_);
  }

  bool HasBatch() const { return !batch_.Empty(); }
  // Bytes held as a possible binary frame; bytes of a line not yet whole.
  int Held() const { return lexer_.Held(); }
  int Pending() const { return lexer_.Pending(); }

  // The driver holds nothing more and whole lines wait: they wait a little
  // for the ones behind them (sleeping on this thread), then go over.
  void Gather() {
    const DWORD left = batch_.GatherLeftMs(GetTickCount(), lexer_.Pending() != 0);
    if (left > 0) {
      Sleep(left);
    } else {
      HandOver();
    }
  }

  // Nothing came behind a held frame candidate: it was none.
  void GiveBackCandidate() { lexer_.GiveBackCandidate(*this); }

  // The attempt at reading ended: what is whole goes over; a partial line
  // is dropped.
  void EndOfAttempt() {
    lexer_.EndOfBurst(*this);
    HandOver();
  }

  // The batch goes to the window, unless the link was closed meanwhile; the
  // window reads it during the call, so it is emptied only afterwards.
  void HandOver() {
    const LineBatch<Ch>& batch = batch_.Batch();
    if (!batch.Empty() && !batch.LinkClosed()) {
      const WPARAM handed = reinterpret_cast<WPARAM>(&batch);
      if constexpr (sizeof(Ch) == 1) {
        SendMessageA(shared_.window, receiver::kMsgNmeaBatch, handed, 0);
      } else {
        SendMessageW(shared_.window, receiver::kMsgNmeaBatch, handed, 0);
      }
    }
    batch_.Clear();
  }

  // The lexer's sink.
  void OnLine(const Ch* line, int length) { batch_.AddLine(line, length, GetTickCount(), [this] { HandOver(); }); }
  void OnFrame(const unsigned char* frame, int length) {
    batch_.AddFrame(frame, length, GetTickCount(), [this] { HandOver(); });
  }
  bool OnLineCut() {
    shared_.counts.AddLineCut();
    lineCut_ = true;
    return !lineCutEndsRead_;
  }

 private:
  ReaderShared& shared_;
  stream::StreamLexer<Ch> lexer_;
  BatchFiller<Ch> batch_;
  bool lineCutEndsRead_;
  bool lineCut_ = false;
  unsigned char chunk_[kChunkBytes] = {};
  DWORD count_ = 0;
  DWORD next_ = 0;
};

// Starts `run(*shared, gate)` on `worker`'s thread, which holds its own
// reference to `shared` until `run` returns, and is counted in `census`
// from before it starts until after it has let go. `wake` ends a wait the
// reader may be blocked in when the worker is stopped. False when no thread
// could be made (nothing is left running or counted then).
template <class Shared>
bool StartReader(sync::Worker& worker, const std::shared_ptr<Shared>& shared, void (*run)(Shared&, sync::StopGate&),
                 ReaderCensus& census, std::function<void()> wake = {}) {
  census.Starting();
  const bool started = worker.Start(
      [held = shared, run, counted = &census](sync::StopGate& gate) mutable {
        run(*held, gate);
        held.reset();  // let go before the census hears of the end
        counted->Ended();
      },
      std::move(wake));
  if (!started) census.Ended();
  return started;
}

}  // namespace trelvane::link
