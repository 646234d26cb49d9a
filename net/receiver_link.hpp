// The receiver's link as a monitor window holds it: its serial port
// (`Serial`, the desktop's or the handheld's), or a receiver on the network
// in its place; never both. Whichever is open gets the window's commands and
// the corrections client's frames, reads into the window's recorder, and
// answers for the link's health, so the window asks one link and never which
// kind it is, except to show it.
#pragma once

#include <windows.h>

#include "link/port_bytes.hpp"
#include "link/reader_counts.hpp"
#include "net/network_link.hpp"
#include "receiver/receiver_commands.hpp"
#include "stream/sentence_frame.hpp"

namespace trelvane::recording {
class Recorder;
}  // namespace trelvane::recording

namespace trelvane::net {

template <class Serial, class Ch>
class ReceiverLink final : public receiver::SentenceWriter<Ch>, public link::PortBytes {
 public:
  ReceiverLink() = default;
  ReceiverLink(const ReceiverLink&) = delete;
  ReceiverLink& operator=(const ReceiverLink&) = delete;
  ~ReceiverLink() { CloseLink(); }

  // The serial port `portName` at kBaudTable[baudIndex], in place of
  // whatever was open; 1 on success, 0 on failure (the serial link's).
  int OpenLink(HWND window, const Ch* portName, int baudIndex, recording::Recorder* recorder = nullptr) {
    CloseLink();
    return serial_.OpenLink(window, portName, baudIndex, recorder);
  }
  // A receiver on the network in place of whatever was open; 1 on success,
  // 0 when a UDP port cannot be bound.
  int OpenNetwork(HWND window, const NetworkSource& source, recording::Recorder* recorder = nullptr) {
    CloseLink();
    return network_.Open(window, source, recorder) ? 1 : 0;
  }
  // Closes whichever is open; nothing open is fine. Always 1.
  int CloseLink() {
    network_.Close();
    return serial_.CloseLink();
  }
  // Moves the open port to `baud` (a network receiver's rate is its
  // bridge's: 0).
  int SetRate(unsigned long baud) { return serial_.SetRate(baud); }

  bool IsOpen() const { return serial_.IsOpen() || network_.IsOpen(); }
  bool IsNetwork() const { return network_.IsOpen(); }
  // Commands reach the receiver: a port, or a network receiver over TCP.
  bool Writable() const { return serial_.IsOpen() || network_.Writable(); }
  // The network receiver's waiting log-pane line; false when none.
  bool TakeNetworkNote(char* out, int capacity) { return network_.TakeNote(out, capacity); }
  // What the open link's reader has received and dropped; zeros when closed.
  link::LinkCounts Counts() const { return network_.IsOpen() ? network_.Counts() : serial_.Counts(); }

  // `text` and CR LF, each unit as its low byte, to whichever is open. Always 1.
  int WriteSentence(const Ch* text) override {
    if (!network_.IsOpen()) return serial_.WriteSentence(text);
    constexpr int kCapacity = sizeof(Ch) == 1 ? stream::kDesktopWriteBytes : stream::kHandheldWriteBytes;
    char frame[kCapacity];
    const int length = stream::FrameSentence(text, frame, kCapacity);
    network_.Write(reinterpret_cast<const unsigned char*>(frame), length);
    return 1;
  }
  // `bytes` as they stand (a binary frame) to whichever is open. Always 1.
  int WriteBytes(const unsigned char* bytes, int length) override {
    WriteFrame(bytes, length, nullptr);
    return 1;
  }
  // The same for another thread; see PortBytes.
  int WriteFrame(const unsigned char* bytes, int length, const sync::StopGate* stop) override {
    if (!network_.IsOpen()) return serial_.WriteFrame(bytes, length, stop);
    return length > 0 && network_.Write(bytes, length) ? link::kBytesWritten : link::kBytesRefused;
  }
  // A network receiver's bridge sets its own rate: the network paces it.
  unsigned long Baud() const override { return network_.IsOpen() ? 0 : serial_.Baud(); }

 private:
  Serial serial_;
  NetworkLink<Ch> network_;
};

}  // namespace trelvane::net
