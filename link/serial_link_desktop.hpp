// The desktop monitor's serial link: one port at a time, 8-bit text, a reader
// thread that hands the received lines to a window in batches (kMsgNmeaBatch,
// link/line_batch.hpp).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "handles/owned.hpp"
#include "link/port_bytes.hpp"
#include "link/reader_counts.hpp"
#include "link/write_turn.hpp"
#include "receiver/receiver_commands.hpp"
#include "sync/worker.hpp"

namespace trelvane::recording {
class Recorder;
}  // namespace trelvane::recording

namespace trelvane::link {


struct DesktopReader;

class DesktopLink final : public receiver::SentenceWriter<char>, public PortBytes {
 public:
  DesktopLink() = default;
  DesktopLink(const DesktopLink&) = delete;
  DesktopLink& operator=(const DesktopLink&) = delete;
  ~DesktopLink() { CloseLink(); }

  // Opens `portName` at kBaudTable[baudIndex] and starts a reader that hands
  // every line to `window` and, when `recorder` is given, every read to it
  // (which records it while recording; the recorder must outlive the link).
  // Returns 1 on success, 0 on failure.
  int OpenLink(HWND window, const char* portName, int baudIndex, recording::Recorder* recorder = nullptr);
  // Stops the reader and closes the port; the reader hands the recorder
  // nothing more. Always 1; nothing open is fine.
  int CloseLink();
  // Moves the open port to `baud`, leaving its reader and its other
  // settings as they are (the receiver was told to change its rate). 1 when
  // the driver took it.
  int SetRate(unsigned long baud);
  // Writes `text` and CR LF to the open port, if any. Always 1.
  int WriteSentence(const char* text) override;
  // Writes `bytes` as they stand (a binary frame). Always 1.
  int WriteBytes(const unsigned char* bytes, int length) override {
    WriteFrame(bytes, length, nullptr);
    return 1;
  }
  // The same in slices, for another thread; see PortBytes.
  int WriteFrame(const unsigned char* bytes, int length, const sync::StopGate* stop) override;
  unsigned long Baud() const override { return baud_.load(); }

  // Readers of this kind of link, in the whole process, that have not yet
  // ended: a closed link's reader may outlive it by one line or one wait.
  static int RunningReaders();

  bool IsOpen() const { return port_.Valid(); }
  // What the open link's reader has received and dropped; zeros when closed.
  LinkCounts Counts() const;

 private:
  WriteTurn writeTurn_;  // the window's writes and the corrections feeder's take turns; closed before the port
  std::atomic<unsigned long> baud_{0};
  handles::OwnedHandle port_;
  std::shared_ptr<DesktopReader> shared_;  // what the link shares with its reader
  sync::Worker reader_;
};

// The desktop port settings at `baud`: 8N1, binary, no flow control, DTR and
// RTS off, abort on error; reads return what the driver holds at once or wait
// at most 100 ms for a first byte. Refused settings are left as the driver has
// them. The link and the port scan's probe both use them.
void ApplyDesktopSettings(HANDLE port, unsigned long baud);

// Sets and clears a break on `port`; false when the driver refuses either.
bool PulseBreak(HANDLE port);

}  // namespace trelvane::link
