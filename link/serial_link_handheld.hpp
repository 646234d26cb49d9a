// The handheld monitor's serial link: UTF-16 text, the driver's own settings
// except rate and framing, a reader that sleeps in the port's event wait and
// in blocking reads, and the opened port saved in the registry.
#pragma once

#include <windows.h>

#include <atomic>

#include <memory>

#include "link/port_bytes.hpp"
#include "link/reader_counts.hpp"
#include "link/write_turn.hpp"
#include "receiver/receiver_commands.hpp"
#include "sync/worker.hpp"
#include "ce/serial_port.hpp"

namespace trelvane::recording {
class Recorder;
}  // namespace trelvane::recording

namespace trelvane::link {


struct HandheldReader;

class HandheldLink final : public receiver::SentenceWriter<wchar_t>, public PortBytes {
 public:
  HandheldLink() = default;
  HandheldLink(const HandheldLink&) = delete;
  HandheldLink& operator=(const HandheldLink&) = delete;
  ~HandheldLink() { CloseLink(); }

  // Saves `portName` as the last port (whatever follows), opens it at
  // kBaudTable[baudIndex] and starts a reader that hands every line to
  // `window` and, when `recorder` is given, every read to it (which records
  // it while recording; the recorder must outlive the link). Returns 1 on
  // success, 0 on failure.
  int OpenLink(HWND window, const wchar_t* portName, int baudIndex, recording::Recorder* recorder = nullptr);
  // Closes the port, which ends the reader's pending wait or read; the
  // reader hands the recorder nothing more. Always 1.
  int CloseLink();
  // Moves the open port to `baud`, leaving its reader and its other
  // settings as they are (the receiver was told to change its rate). 1 when
  // the driver took it.
  int SetRate(unsigned long baud);
  // Writes the low byte of each unit of `text`, then CR LF. Always 1.
  int WriteSentence(const wchar_t* text) override;
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

  bool IsOpen() const { return static_cast<bool>(port_); }
  // What the open link's reader has received and dropped; zeros when closed.
  LinkCounts Counts() const;

 private:
  WriteTurn writeTurn_;  // the window's writes and the corrections feeder's take turns; closed before the port
  std::atomic<unsigned long> baud_{0};
  ce::SerialPortRef port_;
  std::shared_ptr<HandheldReader> shared_;  // what the link shares with its reader
  sync::Worker reader_;
};

}  // namespace trelvane::link
