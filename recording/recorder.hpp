// Recording the receiver: every byte the link's reader reads from the port,
// exactly as read, into a file, and when each read came into a timing file
// beside it (recording/recording_format.hpp). Both monitors record alike.
//
// Three threads. The window's starts and stops a recording. The link's reader
// hands each read to Take, which only copies it into a fixed queue
// (recording/recording_ring.hpp) and wakes the writer: the reader never waits
// for the disk and allocates nothing. The recorder's own writer thread writes
// the queue to the two files. A write that fails, or a queue that fills
// because the disk fell behind, stops the recording while the link runs on:
// the writer posts kMsgRecordingStopped to the window, which calls Stop and
// logs "Recording stopped: " and the Reason. A disk that does not answer
// holds nobody: Stop waits for the writer at most kStopWaitMs, then leaves it
// to finish or fail on its own with what it holds (its queue and its files
// are its own, not the recorder's), and the recording stopped because "the
// disk did not answer".
//
// Ownership: the window owns one Recorder for its life and passes it to each
// link it opens; a link hands it reads until the link closes. So the window
// declares its Recorder before its link, which then closes first.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "handles/owned.hpp"
#include "recording/recording_format.hpp"
#include "recording/recording_ring.hpp"
#include "sync/stop_gate.hpp"
#include "sync/worker.hpp"

namespace trelvane::recording {

// Posted by the writer thread when the recording stopped without being
// asked: a write failed or the disk fell behind. wParam, lParam: 0. The
// window calls Recorder::Stop and logs the Recorder's Reason. WM_APP + 30 is
// the share server's.
constexpr unsigned kMsgRecordingStopped = WM_APP + 31;

using handles::OwnedHandle;

// What one recording's writer works on: the queue and the two files, and
// what became of them. Shared by the recorder and its writer thread, so that
// a writer still held up by the disk after Stop gave up on it keeps them.
struct RecorderJob;

// How long Stop waits for the writer to write what is queued and end.
constexpr DWORD kStopWaitMs = 2000;

class Recorder {
 public:
  Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder();

  // Window thread. Creates the recording at `path` and its timing file
  // beside it, both new (an existing file is never overwritten), and starts
  // the writer; stopped reasons go to `window`. False when a recording is
  // running or a file cannot be made: nothing is then left open, and neither
  // file is left behind. Instantiated for char and wchar_t.
  template <class Ch>
  bool Start(const Ch* path, HWND window);

  // Start's second half, on two files already made (Start makes them by
  // name; tests hand over files of their own): writes the timing file's
  // magic and starts the writer. Takes both handles, also on failure.
  bool StartOn(OwnedHandle recording, OwnedHandle timing, HWND window);

  // Reader thread, once for each read: queues the read's bytes with the time
  // it came (GetTickCount's). Never waits; allocates nothing. Does nothing
  // unless recording. A read the queue cannot hold whole stops the recording
  // ("the disk fell behind"), and no part of it is recorded. One reader at a
  // time: a link stops handing reads over when it closes.
  void Take(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs);

  // Window thread. Stops taking reads (a reader inside Take at that moment
  // is waited out), lets the writer write everything queued, ends it and
  // closes both files; a writer the disk holds past kStopWaitMs is left to
  // end on its own (kDiskHung). Answers the bytes recorded. Does nothing more
  // the second time, and may follow a stop the writer made.
  std::uint64_t Stop();

  // Reads are being taken: started, and not stopped by Stop or a failure.
  bool Recording() const;
  // The bytes written to the recording so far.
  std::uint64_t Bytes() const;
  // Why the last recording stopped, kNone when by Stop alone.
  RecordingStop StopReason() const;
  // StopReason's words, zero-terminated and cut to `capacity` units; answers
  // the length ("" when kNone).
  template <class Ch>
  int Reason(Ch* out, int capacity) const {
    return RecordingStopText(StopReason(), Error(), out, capacity);
  }
  // The path given to the last Start in the text form it was given in
  // (char or wchar_t); "" in the other form and after StartOn.
  template <class Ch>
  const Ch* Path() const {
    if constexpr (sizeof(Ch) == 1) {
      return pathA_;
    } else {
      return pathW_;
    }
  }

 private:
  void Queue(const unsigned char* bytes, std::size_t count, std::uint32_t nowMs);
  unsigned long Error() const;

  // The recording's job, from Start until the next Start; the writer holds
  // it too while it runs.
  std::shared_ptr<RecorderJob> job_;
  sync::Worker writer_;
  bool hung_ = false;  // Stop gave up on the last job's writer
  char pathA_[MAX_PATH] = {};
  wchar_t pathW_[MAX_PATH] = {};

  // Open while reads are taken: either Take sees the stop and backs out, or
  // Stop sees Take inside and waits for its copy (sync/stop_gate.hpp).
  sync::StopGate taking_{false};

  // The reader's own while recording (reset by Start before it takes any).
  std::uint64_t taken_ = 0;
  std::uint32_t firstMs_ = 0;
  std::uint32_t lastMs_ = 0;
};

// The folder for new recordings: the user's documents folder (on the
// handheld "\My Documents") and "\Trelvane", made when missing. False when
// there is no documents folder, the folder cannot be made, or the path does
// not fit in `capacity` units.
bool RecordingsFolder(char* out, int capacity);
bool RecordingsFolder(wchar_t* out, int capacity);

// A path for a recording started now: that folder and, from the local
// time, YYYYMMDD-HHMMSS.nmea. A second recording started within the same
// second gets the same path, which Start then refuses.
bool NewRecordingPath(char* out, int capacity);
bool NewRecordingPath(wchar_t* out, int capacity);

}  // namespace trelvane::recording
